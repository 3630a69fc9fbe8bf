// Stored bytes read and written field by field, little-endian unless a
// method says otherwise, through a cursor that cannot leave its block: a read
// past the end gives 0, a write past the end writes nothing, and either marks
// the codec failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Where a reader or writer is in its block, and whether it has failed.
class ByteCursor {
public:
    size_t position() const { return position_; }
    size_t size() const { return size_; }
    size_t remaining() const { return size_ - position_; }
    // False once a read, write or seek went past the end.
    bool ok() const { return ok_; }
    // Moves the cursor; past the end it goes to the end and fails.
    bool seek(size_t position) {
        if (position > size_) {
            position_ = size_;
            return ok_ = false;
        }
        position_ = position;
        return true;
    }

protected:
    explicit ByteCursor(size_t size) : size_(size) {}
    // True when count more bytes fit; otherwise the cursor fails.
    bool fits(size_t count) {
        if (count <= remaining()) return true;
        ok_ = false;
        return false;
    }

    size_t size_;
    size_t position_ = 0;
    bool ok_ = true;
};

class ByteReader : public ByteCursor {
public:
    ByteReader(const uint8_t* data, size_t size) : ByteCursor(data ? size : 0), data_(data) {}

    // The next count bytes in place, or null (cursor unmoved) when fewer remain.
    const uint8_t* take(size_t count) {
        if (!fits(count)) return nullptr;
        const uint8_t* p = data_ + position_;
        position_ += count;
        return p;
    }

    uint8_t u8() { return uint8_t(little(1)); }
    uint16_t u16() { return uint16_t(little(2)); }
    int16_t i16() { return int16_t(u16()); }
    uint32_t u32() { return uint32_t(little(4)); }
    int32_t i32() { return int32_t(u32()); }
    float f32() {
        const uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    uint16_t u16MostSignificantFirst() {
        const uint8_t* p = take(2);
        return p ? uint16_t((p[0] << 8) | p[1]) : 0;
    }
    // A four-character code and other fields stored most significant first.
    uint32_t u32MostSignificantFirst() {
        const uint8_t* p = take(4);
        return p ? (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]) : 0;
    }

private:
    uint64_t little(size_t count) {
        const uint8_t* p = take(count);
        uint64_t v = 0;
        if (p)
            for (size_t i = 0; i < count; ++i) v |= uint64_t(p[i]) << (8 * i);
        return v;
    }

    const uint8_t* data_;
};

class ByteWriter : public ByteCursor {
public:
    ByteWriter(uint8_t* data, size_t size) : ByteCursor(data ? size : 0), data_(data) {}

    void u8(uint8_t v) { little(v, 1); }
    void u16(uint16_t v) { little(v, 2); }
    void u32(uint32_t v) { little(v, 4); }
    void i32(int32_t v) { u32(uint32_t(v)); }
    void f32(float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        u32(bits);
    }
    void u32MostSignificantFirst(uint32_t v) {
        uint32_t swapped = 0;
        for (int i = 0; i < 4; ++i) swapped |= ((v >> (8 * i)) & 0xFFu) << (8 * (3 - i));
        u32(swapped);
    }

private:
    void little(uint64_t v, size_t count) {
        if (!fits(count)) return;
        for (size_t i = 0; i < count; ++i) data_[position_ + i] = uint8_t(v >> (8 * i));
        position_ += count;
    }

    uint8_t* data_;
};
