// The source map's lookups: sorted pieces of address space, each naming the
// span that laid it down, searched by binary search.
#include <algorithm>

#include "assembler.h"

namespace kovar {

namespace {

uint32_t LastOf(const AsmSpan& s) {
    return s.address + (s.size - 1); // spans never reach past 0xFFFFFFFF
}

// `pieces` less the addresses first..last.
template <typename Piece> void Cut(std::vector<Piece>& pieces, uint32_t first, uint32_t last) {
    std::vector<Piece> kept;
    kept.reserve(pieces.size() + 1);
    for (const Piece& p : pieces) {
        if (p.last < first || p.first > last) {
            kept.push_back(p);
            continue;
        }
        if (p.first < first)
            kept.push_back({p.first, first - 1, p.span});
        if (p.last > last)
            kept.push_back({last + 1, p.last, p.span});
    }
    pieces = std::move(kept);
}

} // namespace

SourceMap::SourceMap(const AssembleResult& result)
    : spans_(result.spans), alive_(result.spans.size(), 1), labels_(result.labels),
      labelsByAddress_(result.labels) {
    std::vector<Piece> space;
    for (uint32_t i = 0; i < spans_.size(); ++i) {
        const Piece p{spans_[i].address, LastOf(spans_[i]), i};
        (spans_[i].kind == AsmItemKind::Space ? space : written_).push_back(p);
    }
    const auto byAddress = [](const Piece& a, const Piece& b) { return a.first < b.first; };
    // Programs are mostly written in address order: skip the sort then.
    if (!std::is_sorted(written_.begin(), written_.end(), byAddress))
        std::stable_sort(written_.begin(), written_.end(), byAddress);
    // Skipped ranges may overlap one another (.space, .org back, .space):
    // the one that starts first keeps the shared addresses.
    std::stable_sort(space.begin(), space.end(), byAddress);
    for (Piece p : space) {
        if (!skipped_.empty() && p.first <= skipped_.back().last) {
            if (p.last <= skipped_.back().last)
                continue;
            p.first = skipped_.back().last + 1;
        }
        skipped_.push_back(p);
    }
    std::stable_sort(labelsByAddress_.begin(), labelsByAddress_.end(),
                     [](const AsmLabel& a, const AsmLabel& b) { return a.address < b.address; });
}

const SourceMap::Piece* SourceMap::Find(const std::vector<Piece>& pieces, uint32_t address) {
    auto it = std::upper_bound(pieces.begin(), pieces.end(), address,
                               [](uint32_t a, const Piece& p) { return a < p.first; });
    if (it == pieces.begin())
        return nullptr;
    --it;
    return address <= it->last ? &*it : nullptr;
}

const AsmSpan* SourceMap::SpanAt(uint32_t address) const {
    const Piece* p = Find(written_, address);
    if (p == nullptr)
        p = Find(skipped_, address);
    return p != nullptr ? &spans_[p->span] : nullptr;
}

int SourceMap::LineAt(uint32_t address) const {
    const AsmSpan* s = SpanAt(address);
    return s != nullptr ? s->line : 0;
}

std::optional<uint32_t> SourceMap::InstructionOfLine(int line) const {
    auto it = std::lower_bound(spans_.begin(), spans_.end(), line,
                               [](const AsmSpan& s, int l) { return s.line < l; });
    for (; it != spans_.end() && it->line == line; ++it)
        if (it->kind == AsmItemKind::Instruction && alive_[it - spans_.begin()])
            return it->address;
    return std::nullopt;
}

std::optional<uint32_t> SourceMap::FirstAddressOfLine(int line) const {
    auto it = std::lower_bound(spans_.begin(), spans_.end(), line,
                               [](const AsmSpan& s, int l) { return s.line < l; });
    for (; it != spans_.end() && it->line == line; ++it)
        if (it->kind != AsmItemKind::Space && alive_[it - spans_.begin()])
            return it->address;
    return std::nullopt;
}

std::span<const AsmLabel> SourceMap::LabelsAt(uint32_t address) const {
    const auto first =
        std::lower_bound(labelsByAddress_.begin(), labelsByAddress_.end(), address,
                         [](const AsmLabel& l, uint32_t a) { return l.address < a; });
    const auto last = std::upper_bound(first, labelsByAddress_.end(), address,
                                       [](uint32_t a, const AsmLabel& l) { return a < l.address; });
    return {first, last};
}

void SourceMap::DropBytes(uint32_t address, uint32_t count) {
    if (count == 0)
        return;
    const uint32_t last = address + std::min(count - 1, 0xFFFFFFFFu - address);
    std::vector<Piece> kept;
    kept.reserve(written_.size());
    for (const Piece& p : written_) {
        if (p.last < address || p.first > last) {
            kept.push_back(p);
            continue;
        }
        // The whole item goes, and no skipped range shows through where it was.
        alive_[p.span] = 0;
        Cut(skipped_, p.first, p.last);
    }
    written_ = std::move(kept);
    Cut(skipped_, address, last);
}

} // namespace kovar
