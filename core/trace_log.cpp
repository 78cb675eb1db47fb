#include "trace_log.h"

#include <cstring>
#include <string>

namespace kovar {

TraceLog::TraceLog() = default;
TraceLog::~TraceLog() = default;

char* TraceLog::reserve(std::size_t length) {
    if (blocks_.empty() || blocks_.back().capacity - blocks_.back().used < length) {
        // A line never spans two blocks; an oversized line gets a block of its own.
        const std::size_t capacity = length > kBlockBytes ? length : kBlockBytes;
        blocks_.push_back(Block{std::make_unique_for_overwrite<char[]>(capacity), capacity, 0});
    }
    if (count_ % kPageEntries == 0 && count_ / kPageEntries == pages_.size())
        pages_.push_back(std::make_unique_for_overwrite<Entry[]>(kPageEntries));
    Block& block = blocks_.back();
    pages_[count_ / kPageEntries][count_ % kPageEntries] =
        Entry{static_cast<uint32_t>(blocks_.size() - 1), static_cast<uint32_t>(block.used)};
    char* out = block.text.get() + block.used;
    block.used += length;
    ++count_;
    return out;
}

void TraceLog::append(std::initializer_list<std::string_view> parts) {
    std::size_t length = 0;
    for (std::string_view part : parts)
        length += part.size();
    if (sink_) {
        std::string line;
        line.reserve(length);
        for (std::string_view part : parts)
            line += part;
        sink_(line);
        return;
    }
    char* out = reserve(length);
    for (std::string_view part : parts) {
        if (!part.empty())
            std::memcpy(out, part.data(), part.size());
        out += part.size();
    }
}

void TraceLog::Clear() {
    blocks_.clear();
    pages_.clear();
    count_ = 0;
    ++generation_;
}

void TraceLog::Truncate(std::size_t n) {
    if (n >= count_)
        return;
    // The first removed line marks where its block's text now ends; the
    // blocks after it hold only removed lines.
    const Entry first = pages_[n / kPageEntries][n % kPageEntries];
    blocks_.resize(first.block + 1);
    blocks_.back().used = first.offset;
    pages_.resize((n + kPageEntries - 1) / kPageEntries);
    count_ = n;
}

std::string_view TraceLog::line(std::size_t index) const {
    if (index >= count_)
        return {};
    const Entry& e = pages_[index / kPageEntries][index % kPageEntries];
    std::size_t end = blocks_[e.block].used;
    if (index + 1 < count_) {
        const Entry& next = pages_[(index + 1) / kPageEntries][(index + 1) % kPageEntries];
        if (next.block == e.block)
            end = next.offset;
    }
    return {blocks_[e.block].text.get() + e.offset, end - e.offset};
}

std::size_t TraceLog::memoryBytes() const {
    std::size_t bytes = blocks_.capacity() * sizeof(Block) + pages_.capacity() * sizeof(void*);
    for (const Block& b : blocks_)
        bytes += b.capacity;
    bytes += pages_.size() * kPageEntries * sizeof(Entry);
    return bytes;
}

} // namespace kovar
