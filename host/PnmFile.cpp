#include "host/PnmFile.h"

#include <cctype>

#include "host/CliRun.h"
#include "host/FileValueRuns.h"

namespace {

bool readNumber(const std::vector<uint8_t>& b, size_t& i, long& value) {
    // Skip white space and comments.
    while (i < b.size()) {
        if (b[i] == '#') {
            while (i < b.size() && b[i] != '\n') ++i;
        } else if (std::isspace(b[i])) {
            ++i;
        } else {
            break;
        }
    }
    if (i >= b.size() || !std::isdigit(b[i])) return false;
    value = 0;
    while (i < b.size() && std::isdigit(b[i])) {
        value = value * 10 + (b[i] - '0');
        if (value > 1000000) return false;
        ++i;
    }
    return true;
}

uint16_t toHost16(uint32_t v, int maxValue) {
    const uint32_t full = maxValue == 65535 ? v : (v * 65535u + uint32_t(maxValue) / 2) / uint32_t(maxValue);
    return uint16_t((full * 32768u + 32767u) / 65535u);
}

uint32_t fromHost16(uint16_t h, int maxValue) {
    const uint32_t full = (uint32_t(h) * 65535u + 16384u) / 32768u;
    return maxValue == 65535 ? full : (full * uint32_t(maxValue) + 32767u) / 65535u;
}

// What the bits of a 16-bit file with the given maximum stand for: the
// runs of its mapping, with the writer's own value of each host value.
ExactValues exactFor(int maxValue) {
    std::vector<uint16_t> hostOf(size_t(maxValue) + 1);
    for (uint32_t v = 0; v <= uint32_t(maxValue); ++v) hostOf[v] = toHost16(v, maxValue);
    std::vector<uint16_t> own(32769);
    for (uint32_t h = 0; h < own.size(); ++h) own[h] = uint16_t(fromHost16(uint16_t(h), maxValue));
    return exactValues(fileValueRuns(std::move(hostOf)), own);
}

}  // namespace

bool parsePnmHeader(const std::vector<uint8_t>& b, char& kind, int32_t& width, int32_t& height, int& maxValue,
                    size_t& offset) {
    if (b.size() < 2 || b[0] != 'P' || (b[1] != '5' && b[1] != '6')) return false;
    kind = char(b[1]);
    size_t i = 2;
    long w = 0, h = 0, m = 0;
    if (!readNumber(b, i, w) || !readNumber(b, i, h) || !readNumber(b, i, m)) return false;
    if (i >= b.size() || !std::isspace(b[i])) return false;
    if (w < 1 || h < 1 || w > 30000 || h > 30000 || m < 1 || m > 65535) return false;
    width = int32_t(w);
    height = int32_t(h);
    maxValue = int(m);
    offset = i + 1;
    return true;
}

bool readPnmImage(const std::string& path, HostImage& image, PnmOrigin& origin, std::string& error) {
    int& maxValue = origin.maxValue;
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, size_t(-1) / 2, bytes, error)) return false;
    char kind = 0;
    int32_t w = 0, h = 0;
    size_t offset = 0;
    if (!parsePnmHeader(bytes, kind, w, h, maxValue, offset)) {
        error = path + ": not a binary PNM image (P5/P6)";
        return false;
    }
    if (kind != '6') {
        error = path + ": " + imageModeMessage("greyscale");
        return false;
    }
    const int bytesPerSample = maxValue > 255 ? 2 : 1;
    const size_t need = size_t(w) * size_t(h) * 3 * size_t(bytesPerSample);
    if (bytes.size() - offset < need) {
        error = path + ": the file is truncated";
        return false;
    }
    if (!makeHostImage(image, w, h, 3, bytesPerSample == 2 ? 16 : 8)) {
        error = path + ": image too large";
        return false;
    }
    const uint8_t* p = bytes.data() + offset;
    const ExactValues exact = bytesPerSample == 2 ? exactFor(maxValue) : ExactValues();
    const bool keep = !exact.setFor.empty();
    image.changed.assign(keep ? sampleBitWords(image.samples.size()) : 0, 0);
    for (size_t k = 0; k < image.samples.size(); ++k) {
        uint32_t v = bytesPerSample == 2 ? uint32_t((p[2 * k] << 8) | p[2 * k + 1]) : p[k];
        if (v > uint32_t(maxValue)) v = uint32_t(maxValue);
        if (bytesPerSample == 2) {
            image.samples[k] = toHost16(v, maxValue);
            if (keep && exact.setFor[v]) setSampleBit(image.changed, k);
        } else
            image.samples[k] = uint16_t(maxValue == 255 ? v : (v * 255u + uint32_t(maxValue) / 2) / uint32_t(maxValue));
    }
    return true;
}

bool writePnmImage(const std::string& path, const HostImage& image, const PnmOrigin& origin, std::string& error) {
    if (image.planes != 3) {
        error = path + ": PNM files hold RGB images only";
        return false;
    }
    int maxValue = origin.maxValue;
    const size_t words = sampleBitWords(image.samples.size());
    const bool keep = image.depth == 16 && image.changed.size() == words && maxValue >= 256 && maxValue <= 65535;
    const ExactValues exact = keep ? exactFor(maxValue) : ExactValues();
    const int bytesPerSample = image.depth == 16 ? 2 : 1;
    const int full = bytesPerSample == 2 ? 65535 : 255;
    if (maxValue < 1 || maxValue > full) maxValue = full;
    std::string header = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n" +
                         std::to_string(maxValue) + "\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.reserve(bytes.size() + image.samples.size() * size_t(bytesPerSample));
    for (size_t k = 0; k < image.samples.size(); ++k) {
        const uint16_t s = image.samples[k];
        if (bytesPerSample == 2) {
            uint32_t v = fromHost16(s, maxValue);
            if (!exact.restore.empty() && !sampleBit(image.changed, k) && s < exact.restore.size())
                v = exact.restore[s];
            bytes.push_back(uint8_t(v >> 8));
            bytes.push_back(uint8_t(v));
        } else {
            // 8-bit files of a smaller range were stretched to 0..255 on reading.
            const uint32_t v = s > 255 ? 255u : s;
            bytes.push_back(uint8_t(maxValue == 255 ? v : (v * uint32_t(maxValue) + 127u) / 255u));
        }
    }
    return writeWholeFile(path, bytes, error);
}

bool readPnmSelection(const std::string& path, int32_t width, int32_t height, std::vector<uint8_t>& selection,
                      std::string& error) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, size_t(-1) / 2, bytes, error)) return false;
    char kind = 0;
    int32_t w = 0, h = 0;
    int maxValue = 0;
    size_t offset = 0;
    if (!parsePnmHeader(bytes, kind, w, h, maxValue, offset) || kind != '5' || maxValue > 255) {
        error = path + ": a selection must be an 8-bit grey PNM image (P5)";
        return false;
    }
    if (w != width || h != height) {
        error = path + ": the selection is " + std::to_string(w) + "x" + std::to_string(h) + ", the image " +
                std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    if (bytes.size() - offset < size_t(w) * size_t(h)) {
        error = path + ": the file is truncated";
        return false;
    }
    selection.assign(bytes.begin() + std::ptrdiff_t(offset), bytes.begin() + std::ptrdiff_t(offset) + w * h);
    return true;
}
