#include "alu.h"

#include "isa.h"

namespace kovar {

AluResult AluAdd(uint32_t x, uint32_t y, int k) {
    const int64_t sum = static_cast<int64_t>(x) + static_cast<int64_t>(y) + k;
    return {static_cast<uint32_t>(sum), static_cast<uint8_t>(sum >= (int64_t{1} << 32) ? 1 : 0)};
}

AluResult ALU(uint32_t a, uint32_t b, unsigned op, unsigned carry) {
    using namespace isa;
    const int c = carry ? 1 : 0;
    const int notC = 1 - c;
    const uint32_t negA = 0u - a;
    const uint32_t negB = 0u - b;
    switch (op) {
    case Nand: return {~(a & b), 0};
    case AOrNotB: return {a | ~b, 0};
    case NotAOrB: return {~a | b, 0};
    case AOrB: return {a | b, 0};
    case Zero: return {0, 0};
    case NotA: return {~a, 0};
    case MinusOne: return {0xFFFFFFFFu, 0};
    case PassA: return {a, 0};
    case NotB: return {~b, 0};
    case PassB: return {b, 0};
    case AXorB: return {a ^ b, 0};
    case NotAPlusCarry: return AluAdd(~a, 0, c);
    case APlusCarry: return AluAdd(a, 0, c);
    case NotBPlusCarry: return AluAdd(0, ~b, c);
    case NotAPlusNotBPlusCarry: return AluAdd(~a, ~b, c);
    case NotBMinusCarry: return AluAdd(0, ~b, -c);
    case AMinusBMinusNotCarry: return AluAdd(a, negB, -notC);
    case NotAMinusNotCarry: return AluAdd(~a, 0, -notC);
    case AMinusNotCarry: return AluAdd(a, 0, -notC);
    case BPlusCarry: return AluAdd(0, b, c);
    case BMinusAMinusNotCarry: return AluAdd(b, negA, -notC);
    case BMinusNotCarry: return AluAdd(b, 0, -notC);
    case APlusBPlusCarry: return AluAdd(a, b, c);
    case AAndB: return {a & b, 0};
    case NotAAndB: return {~a & b, 0};
    case AAndNotB: return {a & ~b, 0};
    case Nor: return {~(a | b), 0};
    case Xnor: return {~(a ^ b), 0};
    default: return {0, 0};
    }
}

namespace {
// Absolute value as a signed 32-bit number; -2147483648 stays itself.
int32_t abs32(uint32_t v) {
    const auto s = static_cast<int32_t>(v);
    return s < 0 ? static_cast<int32_t>(0u - v) : s;
}
} // namespace

bool Conditional(unsigned code, uint32_t a, uint32_t b, uint32_t r, uint8_t c) {
    const auto sa = static_cast<int32_t>(a);
    const auto sb = static_cast<int32_t>(b);
    const auto sr = static_cast<int32_t>(r);
    switch (code & 15u) {
    case 0: return false;
    case 1: return true;
    case 2: return c == 1;
    case 3: return c == 0;
    case 4: return sa > sb;
    case 5: return sa >= sb;
    case 6: return sr > 0;
    case 7: return sr <= 0;
    case 8: return sr == 0;
    case 9: return sr != 0;
    case 10: return abs32(a) > abs32(b);
    case 11: return abs32(a) < abs32(b);
    case 12: return sa < sb;
    case 13: return sa >= sb;
    case 14: return c == 1;
    default: return c == 0;
    }
}

} // namespace kovar
