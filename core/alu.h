// The pure computations behind ALU instructions: the adder, the 28 ALU
// operations and the 16 conditions.
#pragma once

#include <cstdint>

namespace kovar {

struct AluResult {
    uint32_t value;
    uint8_t carry; // carry out, 0 or 1
};

// (x + y + k) modulo 2^32 with k in {-1, 0, 1}; the carry is 1 exactly when
// the true sum, x and y taken unsigned, reaches 2^32.
AluResult AluAdd(uint32_t x, uint32_t y, int k);

// One of the 28 defined operations (every other code yields 0 with carry 0).
// The carry of the result is the new C.
AluResult ALU(uint32_t a, uint32_t b, unsigned op, unsigned carry);

// Condition codes 0..15 on the operands, the ALU result r and the carry C.
bool Conditional(unsigned code, uint32_t a, uint32_t b, uint32_t r, uint8_t c);

} // namespace kovar
