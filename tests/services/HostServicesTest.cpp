#include <gtest/gtest.h>

#include "host/HostCore.h"
#include "services/HostServices.h"

namespace {

struct HostServices : ::testing::Test {
    HostCore host;
    FilterRecord* record = &host.record();
    SPBasicSuite* basic = host.record().sSPBasic;
};

TEST_F(HostServices, BuffersArriveZeroedAndGoBack) {
    // The stand-in host fills new blocks with 0xCD: the zeros are ours.
    auto* block = static_cast<uint8_t*>(allocBuffer(basic, 10));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(block[i], 0);
    EXPECT_EQ(host.stats().liveBuffers, 1u);
    EXPECT_EQ(host.stats().liveBufferBytes, 10u) << "exactly the size asked for";
    freeBuffer(basic, block);
    EXPECT_EQ(host.stats().liveBuffers, 0u);
    freeBuffer(basic, nullptr);
}

TEST_F(HostServices, HostLimitsAndMissingSuitesGiveNull) {
    host.setBufferLimit(1000);
    EXPECT_EQ(allocBuffer(basic, 1001), nullptr);
    basic = nullptr;
    EXPECT_EQ(allocBuffer(basic, 10), nullptr);
    freeBuffer(basic, reinterpret_cast<void*>(16));  // without a suite nothing is touched
    EXPECT_FALSE(browseWebAddress(basic, "www.tarvo.example"));
    EXPECT_TRUE(host.stats().browsedUrls.empty());
}

TEST_F(HostServices, WebAddressGoesThroughTheHost) {
    EXPECT_TRUE(browseWebAddress(basic, "www.tarvo.example"));
    ASSERT_EQ(host.stats().browsedUrls.size(), 1u);
    EXPECT_EQ(host.stats().browsedUrls[0], "http://www.tarvo.example");
}

TEST_F(HostServices, HandlesThroughTheRecordOrNothing) {
    Handle h = newHostHandle(record, 32);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(hostHandleSize(record, h), 32);
    auto* p = static_cast<uint8_t*>(lockHostHandle(record, h));
    ASSERT_NE(p, nullptr);
    p[31] = 7;
    unlockHostHandle(record, h);
    HostQuirks zero;
    zero.zeroVersions = true;
    host.setQuirks(zero);
    EXPECT_EQ(hostHandleSize(record, h), 32) << "a table stating 0 procedures offers what it holds";
    record->handleProcs->numHandleProcs = 2;
    EXPECT_EQ(hostHandleSize(record, h), -1) << "a stated count is kept to";
    disposeHostHandle(record, h);
    record = nullptr;
    EXPECT_EQ(newHostHandle(record, 32), nullptr);
    EXPECT_EQ(lockHostHandle(record, h), nullptr);
    EXPECT_EQ(hostHandleSize(record, h), -1);
}

TEST(ModuleInstance, KeptOnlyForAttachReasons) {
    int token = 0;
    EXPECT_TRUE(recordModuleInstance(&token, 1));
    EXPECT_EQ(moduleInstance, &token);
    EXPECT_TRUE(recordModuleInstance(&token, 2));
    EXPECT_EQ(moduleInstance, &token);
    EXPECT_TRUE(recordModuleInstance(&token, 0));
    EXPECT_EQ(moduleInstance, nullptr);
    EXPECT_TRUE(recordModuleInstance(&token, 3));
    EXPECT_EQ(moduleInstance, nullptr);
}

}  // namespace
