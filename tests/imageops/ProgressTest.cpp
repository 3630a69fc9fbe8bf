#include <vector>

#include "imageops/RowProgress.h"
#include "imageops/Sharpen.h"
#include "imageops/Soften.h"
#include "tests/imageops/ImageOpsTestSupport.h"

namespace {

using Progress = HostTest;

Point16 pt(int v, int h) { return Point16{int16_t(v), int16_t(h)}; }
const uint8_t kAll[4] = {1, 1, 1, 1};

TEST_F(Progress, HostReportsThenAbortStopsTheOperation) {
    std::vector<std::pair<int32_t, int32_t>> reports;
    host.onProgress = [&](int32_t done, int32_t total) {
        reports.push_back({done, total});
        return false;
    };
    OwnedBuffer src(run, 40, 40, 3), dst(run, 40, 40, 3), mask(run, 40, 40, 1);
    run.progress().total = 40 * 40;
    // A huge radius would make the period 0: every row reports.
    RowProgress rows(run, 0);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(rows.afterRow(40));
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[2].first, 120);
    EXPECT_EQ(reports[2].second, 1600);

    // Sharpen with r = 1 reports every 750,000 pixels; a period this long
    // is not reached here, so nothing is reported.
    reports.clear();
    run.progress().done = 0;
    ASSERT_TRUE(
        sharpenRegion(run, src.buffer, dst.buffer, mask.buffer, ColorModel::RGB, kAll, pt(1, 1), pt(39, 39), 2, 0.5));
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(run.progress().done, 38u * 40u);  // the mask's width per row

    // The host answers the next abort check with true after a report.
    host.onProgress = [&](int32_t, int32_t) { return true; };
    run.progress().done = 0;
    run.progress().aborted = false;
    const size_t abortCalls = host.stats().abortCalls;
    RowProgress abortable(run, 80);
    EXPECT_TRUE(abortable.afterRow(40));
    EXPECT_FALSE(abortable.afterRow(40));
    EXPECT_TRUE(run.progress().aborted);
    EXPECT_EQ(host.stats().abortCalls, abortCalls + 1);
}

// Size 100: r = 50, a report every 300 pixels, that is every second row of a
// 160-pixel-wide mask. The host asks to abort at the second report.
void abortAtSecondReport(HostCore& host, RunContext& run, bool soften) {
    OwnedBuffer src(run, 160, 160, 3), dst(run, 160, 160, 3), mask(run, 160, 160, 1);
    for (size_t i = 0; i < mask.samples(); ++i) mask.buffer.data[i] = 65535;
    for (size_t i = 0; i < src.samples(); ++i) src.buffer.data[i] = 1000;
    int calls = 0;
    host.onProgress = [&](int32_t, int32_t) { return ++calls == 2; };
    run.progress().total = 60 * 60;
    if (soften) {
        SoftenTables tables;
        ASSERT_TRUE(prepareSoftenTables(run, tables, 100));
        EXPECT_FALSE(softenRegion(run, tables, src.buffer, dst.buffer, mask.buffer, ColorModel::RGB, kAll, pt(50, 50),
                                  pt(110, 110), 100));
    } else {
        EXPECT_FALSE(sharpenRegion(run, src.buffer, dst.buffer, mask.buffer, ColorModel::RGB, kAll, pt(50, 50),
                                   pt(110, 110), 100, 0.5));
    }
    EXPECT_TRUE(run.progress().aborted);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(run.progress().done, 4u * 160u);
    EXPECT_EQ(dst.at(60, 53)[0], 1000);  // rows up to the abort are written
    EXPECT_EQ(dst.at(60, 54)[0], 0);     // later ones are not
}

TEST_F(Progress, AbortDuringSoften) { abortAtSecondReport(host, run, true); }
TEST_F(Progress, AbortDuringSharpen) { abortAtSecondReport(host, run, false); }

TEST_F(Progress, DialogPercentagesRiseAndEndAtZero) {
    std::vector<int> shown;
    RunContext dialogRun(&host.record(), ProgressMode::Dialog, [&](int percent) { shown.push_back(percent); });
    OwnedBuffer src(run, 12, 12, 3), dst(run, 12, 12, 3), mask(run, 12, 12, 1);
    dialogRun.progress().total = 10 * 12;
    host.onProgress = [](int32_t, int32_t) { return true; };  // never asked in dialog mode
    ASSERT_TRUE(sharpenRegion(dialogRun, src.buffer, dst.buffer, mask.buffer, ColorModel::RGB, kAll, pt(1, 1),
                              pt(11, 11), 2, 0.5));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), 0);
    for (size_t i = 1; i + 1 < shown.size(); ++i) EXPECT_GT(shown[i], shown[i - 1]);
    EXPECT_EQ(shown[shown.size() - 2], 100);
    EXPECT_EQ(host.stats().abortCalls, 0u);

    shown.clear();
    dialogRun.progress().total = 0;
    ASSERT_TRUE(sharpenRegion(dialogRun, src.buffer, dst.buffer, mask.buffer, ColorModel::RGB, kAll, pt(1, 1),
                              pt(11, 11), 2, 0.5));
    EXPECT_EQ(shown, std::vector<int>{0});
}

}  // namespace
