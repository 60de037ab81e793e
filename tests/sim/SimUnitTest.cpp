#include "sim/SimUnit.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

#include "tests/support/TestFrames.h"

namespace {

SimResponse Ask(CSimUnit& unit, const Bytes& frame) {
    return unit.Handle(frame.data(), frame.size());
}

// The data bytes of a 01 or 03 reply.
Bytes Data(const SimResponse& r) {
    EXPECT_EQ(r.answer, SimAnswer::Reply);
    EXPECT_TRUE(CrcValid(r.frame));
    if (r.frame.size() < 5 || r.frame[2] != r.frame.size() - 5) {
        ADD_FAILURE() << "byte count does not match the frame";
        return {};
    }
    return Bytes(r.frame.begin() + 3, r.frame.end() - 2);
}

std::uint16_t Reg(const Bytes& data, int i) {
    return static_cast<std::uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
}

}  // namespace

TEST(SimUnit, AnalogRegistersHoldTheNominalValuesInTheProgramsScale) {
    CSimUnit unit(1, 1, false);
    const Bytes data = Data(Ask(unit, Request(1, 3, 100, 9)));
    ASSERT_EQ(data.size(), 18u);
    // 220 V is raw 47184 on this unit, and 380 V is 57670.
    EXPECT_EQ(Reg(data, 4), 47184);
    EXPECT_EQ(Reg(data, 0), 57670);
    for (int i = 0; i < CSimUnit::kAnalogCount; ++i) {
        EXPECT_NEAR(ShownValue(Reg(data, i)), CSimUnit::NominalValue(i), 0.02)
            << "register " << 100 + i;
    }
    // Plausible for the panel: AC near 380 V, buses and battery near 220-235 V,
    // currents a few amperes, room 25 degrees.
    for (int i : {0, 1, 2}) {
        EXPECT_NEAR(CSimUnit::NominalValue(i), 380.0, 5.0);
    }
    for (int i : {3, 4, 6}) {
        EXPECT_NEAR(CSimUnit::NominalValue(i), 225.0, 15.0);
    }
    for (int i : {5, 7}) {
        EXPECT_GT(CSimUnit::NominalValue(i), 0.5);
        EXPECT_LT(CSimUnit::NominalValue(i), 20.0);
    }
    EXPECT_DOUBLE_EQ(CSimUnit::NominalValue(8), 25.0);
}

TEST(SimUnit, ReadsOfPartsOfABlockStartAtTheirOwnAddress) {
    CSimUnit unit(1, 1, false);
    const Bytes data = Data(Ask(unit, Request(1, 3, 104, 2)));
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(Reg(data, 0), CSimUnit::RawOf(CSimUnit::NominalValue(4)));
    EXPECT_EQ(Reg(data, 1), CSimUnit::RawOf(CSimUnit::NominalValue(5)));
}

struct StatusCase {
    std::uint16_t status;
    Bytes coils;  // data bytes of a 01 read of coils 0..14
    Bytes word;   // data bytes of a 03 read of register 0
};

class SimUnitStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(SimUnitStatus, CoilsAndRegisterZeroCarryTheSameBits) {
    CSimUnit unit(1, 1, false);
    unit.SetStatusWord(GetParam().status);
    EXPECT_EQ(Data(Ask(unit, Request(1, 1, 0, 15))), GetParam().coils);
    EXPECT_EQ(Data(Ask(unit, Request(1, 3, 0, 1))), GetParam().word);
    for (int bit = 0; bit < CSimUnit::kStatusBits; ++bit) {
        const Bytes one = Data(Ask(unit, Request(1, 1, bit, 1)));
        EXPECT_EQ(one, Bytes{static_cast<std::uint8_t>(GetParam().status >> bit & 1)}) << bit;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Words, SimUnitStatus,
    ::testing::Values(StatusCase{0x0002, {0x02, 0x00}, {0x00, 0x02}},
                      // Coil data low byte first, the register high byte first.
                      StatusCase{0x1234, {0x34, 0x12}, {0x12, 0x34}},
                      // Bit 15 has no signal: the sixteenth coil bit is filler.
                      StatusCase{0x7FFF, {0xFF, 0x7F}, {0x7F, 0xFF}},
                      StatusCase{0x0000, {0x00, 0x00}, {0x00, 0x00}}),
    [](const ::testing::TestParamInfo<StatusCase>& p) {
        char name[16];
        std::snprintf(name, sizeof name, "Status%04X", p.param.status);
        return std::string(name);
    });

TEST(SimUnit, StatusWordNeverCarriesBit15) {
    CSimUnit unit(1, 1, false);
    unit.SetStatusWord(0xFFFF);
    EXPECT_EQ(unit.StatusWord(), 0x7FFF);
}

struct CoilWrite {
    int coil;
    int value;
    std::uint16_t before;
    std::uint16_t after;
};

class SimUnitCoilWrite : public ::testing::TestWithParam<CoilWrite> {};

TEST_P(SimUnitCoilWrite, SetsTheStatusBitOfItsLegend) {
    const CoilWrite& c = GetParam();
    CSimUnit unit(1, 1, false);
    unit.SetStatusWord(c.before);
    const Bytes request = Request(1, 5, c.coil, c.value);
    const SimResponse r = Ask(unit, request);
    EXPECT_EQ(r.answer, SimAnswer::Reply);
    EXPECT_EQ(r.frame, request);  // a write is answered by its echo
    EXPECT_EQ(unit.StatusWord(), c.after);
    EXPECT_EQ(Data(Ask(unit, Request(1, 3, 0, 1))),
              (Bytes{static_cast<std::uint8_t>(c.after >> 8), static_cast<std::uint8_t>(c.after)}));
    // The command coils read back as their status bits.
    EXPECT_EQ(Data(Ask(unit, Request(1, 1, 200, 2))),
              Bytes{static_cast<std::uint8_t>(c.after & 3)});
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SimUnitCoilWrite,
    ::testing::Values(CoilWrite{200, 0xFF00, 0x0002, 0x0003},    // manual
                      CoilWrite{200, 0x0000, 0x0003, 0x0002},    // automatic
                      CoilWrite{201, 0xFF00, 0x0100, 0x0102},    // float
                      CoilWrite{201, 0x0000, 0x0003, 0x0001},    // equalize
                      CoilWrite{200, 0xFF00, 0x0001, 0x0001},    // already manual
                      CoilWrite{201, 0x0000, 0x7FFC, 0x7FFC}));  // other bits untouched

TEST(SimUnit, ModuleRegistersStartAtTheirDefaultsAndKeepWhatIsWritten) {
    CSimUnit unit(1, 1, false);
    Bytes data = Data(Ask(unit, Request(1, 3, 310, 63)));
    ASSERT_EQ(data.size(), 126u);
    for (int m = 0; m < CSimUnit::kModules; ++m) {
        EXPECT_EQ(Reg(data, 3 * m), 48103) << m;       // 234 V
        EXPECT_EQ(Reg(data, 3 * m + 1), 39321) << m;   // 100 %
        EXPECT_EQ(Reg(data, 3 * m + 2), 0x0000) << m;  // on
    }
    const struct {
        int address;
        int value;
    } writes[] = {{310, 52428}, {311, 39976},  {312, 0xFF00}, {370, 32768},
                  {371, 0},     {372, 0xFF00}, {312, 0x0000}, {343, 0xBBE7}};
    for (const auto& w : writes) {
        const Bytes request = Request(1, 6, w.address, w.value);
        const SimResponse r = Ask(unit, request);
        EXPECT_EQ(r.frame, request) << w.address;
        EXPECT_EQ(unit.ModuleRegister(w.address), w.value) << w.address;
        data = Data(Ask(unit, Request(1, 3, w.address, 1)));
        EXPECT_EQ(Reg(data, 0), w.value) << w.address;
    }
    // Neighbours are untouched.
    EXPECT_EQ(unit.ModuleRegister(313), 48103);
    EXPECT_EQ(unit.ModuleRegister(369), 0);
}

struct BadRequest {
    const char* what;
    Bytes request;
    std::uint8_t code;
};

class SimUnitException : public ::testing::TestWithParam<BadRequest> {};

TEST_P(SimUnitException, IsAnsweredWithItsCodeAndChangesNothing) {
    const BadRequest& c = GetParam();
    CSimUnit unit(1, 1, false);
    const SimResponse r = Ask(unit, c.request);
    EXPECT_EQ(r.answer, SimAnswer::Exception);
    EXPECT_EQ(r.exceptionCode, c.code);
    EXPECT_EQ(r.frame, WithCrc({0x01, static_cast<std::uint8_t>(c.request[1] | 0x80), c.code}));
    EXPECT_EQ(unit.StatusWord(), CSimUnit::kInitialStatus);
    for (int a = 310; a < 373; a += 3) {
        ASSERT_EQ(unit.ModuleRegister(a + 2), 0) << a;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SimUnitException,
    ::testing::Values(BadRequest{"read discrete inputs", Request(1, 2, 0, 15), 1},
                      BadRequest{"read input registers", Request(1, 4, 100, 9), 1},
                      BadRequest{"write multiple registers",
                                 WithCrc({1, 0x10, 0x01, 0x38, 0, 1, 2, 0xFF, 0}), 1},
                      BadRequest{"report server id", WithCrc({1, 0x11}), 1},
                      BadRequest{"read device identification",
                                 WithCrc({1, 0x2B, 0x0E, 0x01, 0x00}), 1},
                      BadRequest{"coil 15", Request(1, 1, 15, 1), 2},
                      BadRequest{"coils 0..15", Request(1, 1, 0, 16), 2},
                      BadRequest{"no coils", Request(1, 1, 0, 0), 2},
                      BadRequest{"coils 199..200", Request(1, 1, 199, 2), 2},
                      BadRequest{"coils 201..202", Request(1, 1, 201, 2), 2},
                      BadRequest{"coils 14..200", Request(1, 1, 14, 187), 2},
                      BadRequest{"2001 coils", Request(1, 1, 0, 2001), 2},
                      BadRequest{"register 1", Request(1, 3, 1, 1), 2},
                      BadRequest{"registers 0..1", Request(1, 3, 0, 2), 2},
                      BadRequest{"registers 99..108", Request(1, 3, 99, 10), 2},
                      BadRequest{"registers 100..109", Request(1, 3, 100, 10), 2},
                      BadRequest{"no registers", Request(1, 3, 100, 0), 2},
                      BadRequest{"register 309", Request(1, 3, 309, 1), 2},
                      BadRequest{"registers 372..373", Request(1, 3, 372, 2), 2},
                      BadRequest{"126 registers", Request(1, 3, 310, 126), 2},
                      BadRequest{"registers 108..310", Request(1, 3, 108, 125), 2},
                      BadRequest{"coil value 1234", Request(1, 5, 200, 0x1234), 3},
                      BadRequest{"coil value 00FF", Request(1, 5, 201, 0x00FF), 3},
                      BadRequest{"value before address", Request(1, 5, 5, 0x0001), 3},
                      BadRequest{"status coil", Request(1, 5, 0, 0xFF00), 2},
                      BadRequest{"coil 202", Request(1, 5, 202, 0xFF00), 2},
                      BadRequest{"register 0 write", Request(1, 6, 0, 1), 2},
                      BadRequest{"analog write", Request(1, 6, 100, 1), 2},
                      BadRequest{"register 309 write", Request(1, 6, 309, 1), 2},
                      BadRequest{"register 373 write", Request(1, 6, 373, 1), 2},
                      BadRequest{"on/off value 1", Request(1, 6, 312, 1), 3},
                      BadRequest{"on/off value 00FF", Request(1, 6, 372, 0x00FF), 3}),
    [](const ::testing::TestParamInfo<BadRequest>& p) {
        std::string name = p.param.what;
        for (char& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) {
                ch = '_';
            }
        }
        return name;
    });

TEST(SimUnit, ExceptionFrameIsTheKnownOne) {
    EXPECT_EQ(CSimUnit::ExceptionFrame(1, 0x03, 0x02), (Bytes{0x01, 0x83, 0x02, 0xC0, 0xF1}));
}

TEST(SimUnit, AnswersOnlyItsOwnAddress) {
    CSimUnit unit(17, 1, false);
    EXPECT_EQ(Ask(unit, Request(17, 3, 0, 1)).frame[0], 17);
    for (int other : {0, 1, 16, 18, 247}) {
        const SimResponse r = Ask(unit, Request(other, 5, 200, 0xFF00));
        EXPECT_EQ(r.answer, SimAnswer::Ignored) << other;
        EXPECT_TRUE(r.frame.empty()) << other;
    }
    EXPECT_EQ(unit.StatusWord(), CSimUnit::kInitialStatus);  // not even a broadcast acts
}

TEST(SimUnit, IgnoresAFrameWithABadCrc) {
    CSimUnit unit(1, 1, false);
    Bytes request = Request(1, 5, 200, 0xFF00);
    request[7] ^= 0x01;
    EXPECT_EQ(Ask(unit, request).answer, SimAnswer::Ignored);
    EXPECT_EQ(unit.StatusWord(), CSimUnit::kInitialStatus);
}

TEST(SimUnit, DriftStaysNearTheNominalValuesAndRepeatsWithTheSeed) {
    CSimUnit a(1, 42, true);
    CSimUnit b(1, 42, true);
    CSimUnit c(1, 43, true);
    bool moved = false;
    bool seedsDiffer = false;
    for (int n = 0; n < 2000; ++n) {
        const Bytes da = Data(Ask(a, Request(1, 3, 100, 9)));
        const Bytes db = Data(Ask(b, Request(1, 3, 100, 9)));
        const Bytes dc = Data(Ask(c, Request(1, 3, 100, 9)));
        ASSERT_EQ(da, db);
        seedsDiffer = seedsDiffer || da != dc;
        for (int i = 0; i < CSimUnit::kAnalogCount; ++i) {
            const double nominal = CSimUnit::NominalValue(i);
            const double v = ShownValue(Reg(da, i));
            ASSERT_NEAR(v, nominal, 0.05 * nominal + 0.1)
                << "register " << 100 + i << " read " << n;
            moved = moved || std::fabs(v - nominal) > 0.05;
        }
    }
    EXPECT_TRUE(moved);
    EXPECT_TRUE(seedsDiffer);
}

TEST(SimUnit, OtherReadsDoNotDrift) {
    CSimUnit unit(1, 7, true);
    const double before = unit.AnalogValue(0);
    for (int n = 0; n < 10; ++n) {
        Ask(unit, Request(1, 3, 0, 1));
        Ask(unit, Request(1, 1, 0, 15));
        Ask(unit, Request(1, 3, 310, 3));
    }
    EXPECT_EQ(unit.AnalogValue(0), before);
}
