// The browser engine's C interface called natively with random commands and
// arguments, in and out of range: nothing may crash or read outside the
// machine (the sanitizer build runs this too), and what it answers stays
// within the documented ranges.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "engine.h"

namespace {

TEST(EngineInterface, AnyCallWithAnyArgumentsIsSafe) {
    std::mt19937 rng(5);
    const auto any = [&] {
        // Mostly small, sometimes at the edges of the 32-bit range.
        switch (rng() % 4) {
        case 0: return static_cast<int32_t>(rng());
        case 1: return static_cast<int32_t>(rng() % 1100) - 50;
        default: return static_cast<int32_t>(rng() % 20) - 2;
        }
    };
    const std::string texts[] = {"",
                                 "1a",
                                 "zz",
                                 "ALU TOS, SOS, a+b\nhalt\n",
                                 "A+B*C",
                                 "-5",
                                 "start: BRANCH start\n",
                                 "\xFF\xFE",
                                 ".byte 1, 2\n.space 3"};
    const auto text = [&](const std::string& t) {
        char* in = kovar_input(static_cast<uint32_t>(t.size()));
        std::memcpy(in, t.data(), t.size());
        return in;
    };
    for (int i = 0; i < 20'000; ++i) {
        const std::string& t = texts[rng() % std::size(texts)];
        const auto n = static_cast<uint32_t>(t.size());
        const int32_t what = any(), index = any();
        switch (rng() % 16) {
        case 0: kovar_set(what, index, any()); break;
        case 1: kovar_set_text(what, index, text(t), n); break;
        case 2: kovar_toggle_mark(index); break;
        case 3: kovar_step(); break;
        case 4: kovar_run(); break;
        case 5: kovar_step_back(); break;
        case 6: kovar_restart(); break;
        case 7: kovar_assemble(text(t), n, 1); break;
        case 8: kovar_load_image(reinterpret_cast<const uint8_t*>(text(t)), n); break;
        case 9: kovar_convert(what, text(t), n); break;
        case 10: kovar_calc_set(what % 8, text(t), n); break;
        case 11: kovar_calc_evaluate(); break;
        case 12:
            kovar_trace_range(static_cast<uint32_t>(any()), static_cast<uint32_t>(any()));
            break;
        case 13:
            kovar_trace_find(text(t), n, static_cast<uint32_t>(any()), any() % 2, any());
            break;
        case 14: kovar_asm_line_at(any()); break;
        default: kovar_new(); break;
        }
        for (int m = 0; m < kovar_message_count(); ++m)
            ASSERT_GT(kovar_message(m), 0u);
        const int32_t value = kovar_get(what, index);
        if (what == KOVAR_MEMORY || what == KOVAR_MARK) {
            ASSERT_TRUE(value >= 0 && value <= 255);
        }
        const uint8_t* changes = kovar_changes();
        for (int c = 0; c < KOVAR_CHANGES_SIZE; ++c)
            ASSERT_LE(changes[c], 1);
        ASSERT_EQ(kovar_get(KOVAR_DS, 16) | kovar_get(KOVAR_MEMORY, 1001) | kovar_get(what, -1), 0);
    }
}

} // namespace
