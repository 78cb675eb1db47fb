// TraceLog: the narration of the machine, one line per micro-step, shown by
// the simulator window's trace pane. It is the one thing that grows without
// bound, so lines are packed back to back into large text blocks and indexed
// by 8 bytes a line; nothing is ever reallocated or copied as it grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

namespace kovar {

class TraceLog {
public:
    TraceLog();
    ~TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    // The trace switch: while it is off, Debug appends nothing.
    bool enabled() const { return enabled_; }
    void setEnabled(bool on) { enabled_ = on; }

    // Appends one line (the concatenation of the parts) when the switch is on.
    void Debug(std::string_view line) {
        if (enabled_)
            append({line});
    }
    void Debug(std::initializer_list<std::string_view> parts) {
        if (enabled_)
            append(parts);
    }

    // Removes every line.
    void Clear();
    // Keeps the first n lines and removes the rest (stepping back removes
    // what the undone instruction wrote). Does nothing when n >= size().
    void Truncate(std::size_t n);

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    std::string_view line(std::size_t index) const;

    // Bumped by every Clear, so that a view can tell a cleared log from one
    // that merely has as many lines as before.
    uint64_t generation() const { return generation_; }

    // Bytes held for the lines (text blocks plus index), for the memory figures.
    std::size_t memoryBytes() const;

    // When a sink is set, lines go to it instead of being kept (the headless
    // runner streams the trace to standard output this way).
    using Sink = std::function<void(std::string_view line)>;
    void setSink(Sink sink) { sink_ = std::move(sink); }

private:
    struct Block {
        std::unique_ptr<char[]> text;
        std::size_t capacity = 0;
        std::size_t used = 0;
    };
    struct Entry {
        uint32_t block;
        uint32_t offset;
    };
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
    static constexpr std::size_t kPageEntries = std::size_t{1} << 13;

    void append(std::initializer_list<std::string_view> parts);
    char* reserve(std::size_t length);

    bool enabled_ = true;
    std::size_t count_ = 0;
    uint64_t generation_ = 0;
    std::vector<Block> blocks_;
    std::vector<std::unique_ptr<Entry[]>> pages_;
    Sink sink_;
};

} // namespace kovar
