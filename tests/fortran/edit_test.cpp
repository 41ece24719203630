// Edit descriptors and list-directed records: the spec's own examples and the
// cases the spec names. Expected texts were written by gfortran 12.
// Spec: Overview (Conventions), Part 4.1 (G9.3), Parts 7.1-7.3 (exponent forms).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "fortran/edit.h"

namespace trevo::fortran {
namespace {

// Part 4.1: G9.3 writes 0.09995 <= |v| < 999.5 in fixed form (five columns and
// four blanks), anything else as 0.123E-02; a negative exponent form drops the 0.
TEST(EditG, Part41G93Examples) {
  EXPECT_EQ(edit_g(0.00123, 9, 3), "0.123E-02");
  EXPECT_EQ(edit_g(-0.00123, 9, 3), "-.123E-02");
  EXPECT_EQ(edit_g(0.5, 9, 3), "0.500    ");
  EXPECT_EQ(edit_g(-0.5, 9, 3), "-.500    ");
  EXPECT_EQ(edit_g(123.4, 9, 3), " 123.    ");
  EXPECT_EQ(edit_g(999.4, 9, 3), " 999.    ");
  EXPECT_EQ(edit_g(999.5, 9, 3), "0.100E+04");   // rounds to 1000: exponent form
  EXPECT_EQ(edit_g(0.09996, 9, 3), "0.100    ");  // rounds to 0.100: fixed form
  EXPECT_EQ(edit_g(0.09995, 9, 3), "0.999E-01");  // the double lies just below 0.09995
  EXPECT_EQ(edit_g(9.9996, 9, 3), " 10.0    ");   // rounds across a decade
  EXPECT_EQ(edit_g(0.0, 9, 3), " 0.00    ");
  EXPECT_EQ(edit_g(-0.0, 9, 3), "-0.00    ");
}

// Overview: a G value outside the fixed range is written in exponent form Ew.d.
TEST(EditG, ExponentFormOutsideFixedRange) {
  EXPECT_EQ(edit_g(1.0e-100, 9, 3), "0.100E-99");
  EXPECT_EQ(edit_g(1.0e-101, 9, 3), "0.100-100");  // three-digit exponent drops the E
  EXPECT_EQ(edit_g(12345.0, 12, 4), "  0.1234E+05");  // an exact tie rounds to even
  EXPECT_EQ(edit_g(0.0001, 12, 7), ".1000000E-03");  // a full field drops the leading zero
}

// Overview: "fields too narrow print w asterisks" also for G's exponent form.
TEST(EditG, TooNarrowPrintsAsterisks) {
  EXPECT_EQ(edit_g(-1.0e17, 12, 7), "************");
  EXPECT_EQ(edit_g(-100.0, 8, 3), "********");
}

TEST(EditG, DrawbeadLineFields) {  // Part 5.1: DEPS as G12.7, BDFORCE as G15.7
  EXPECT_EQ(edit_g(0.0001, 12, 7), ".1000000E-03");
  EXPECT_EQ(edit_g(1000.0, 15, 7), "   1000.000    ");
}

TEST(EditF, FixedForm) {  // Overview: Fw.d
  EXPECT_EQ(edit_f(0.5, 4, 2), "0.50");
  EXPECT_EQ(edit_f(-0.5, 4, 2), "-.50");  // the leading zero goes when the field is full
  EXPECT_EQ(edit_f(-0.001, 4, 2), "-.00");  // gfortran keeps the sign of a value rounding to zero
  EXPECT_EQ(edit_f(-0.0, 6, 3), "-0.000");
  EXPECT_EQ(edit_f(0.125, 4, 2), "0.12");  // an exact tie rounds to even
  EXPECT_EQ(edit_f(0.375, 4, 2), "0.38");
  EXPECT_EQ(edit_f(10.0, 4, 2), "****");
  EXPECT_EQ(edit_f(99.995, 6, 3), "99.995");
  EXPECT_EQ(edit_f(1.7e308, 6, 3), "******");
  EXPECT_EQ(edit_f(12.3, 5, 0), "  12.");
}

TEST(EditE, ExponentFormWidthAndDecimals) {  // Parts 7.1-7.3: E16.9, E16.8
  EXPECT_EQ(edit_e(12.3456789, 16, 9), " 0.123456789E+02");
  EXPECT_EQ(edit_e(-12.3456789, 16, 9), "-0.123456789E+02");
  EXPECT_EQ(edit_e(0.0, 16, 9), " 0.000000000E+00");
  EXPECT_EQ(edit_e(-0.0, 16, 8), " -0.00000000E+00");
  EXPECT_EQ(edit_e(1.0e-100, 16, 9), " 0.100000000E-99");
  EXPECT_EQ(edit_e(-1.0e-101, 16, 9), "-0.100000000-100");
  EXPECT_EQ(edit_e(0.9999999999, 16, 9), " 0.100000000E+01");  // rounds across a decade
  EXPECT_EQ(edit_e(std::numeric_limits<double>::max(), 16, 9), " 0.179769313+309");
  EXPECT_EQ(edit_e(5e-324, 16, 9), " 0.494065646-323");
}

TEST(EditE, ManyDigitsAreExactBinaryDigits) {  // as gfortran's E70.60 and F70.60
  EXPECT_EQ(edit_e(0.1, 70, 60), "    0.100000000000000005551115123125782702118158340454101562500000E+00");
  EXPECT_EQ(edit_f(0.1, 70, 60), "        0.100000000000000005551115123125782702118158340454101562500000");
}

TEST(Edit1PE, OneDigitBeforeThePoint) {  // Part 7.2: 1PE10.3
  EXPECT_EQ(edit_1pe(123.456, 10, 3), " 1.235E+02");
  EXPECT_EQ(edit_1pe(-123.456, 10, 3), "-1.235E+02");
  EXPECT_EQ(edit_1pe(0.0, 10, 3), " 0.000E+00");
  EXPECT_EQ(edit_1pe(9.9996, 10, 3), " 1.000E+01");
  EXPECT_EQ(edit_1pe(1.0e-100, 10, 3), " 1.000-100");
  EXPECT_EQ(edit_1pe(-1.0e-101, 10, 3), "-1.000-101");
  EXPECT_EQ(edit_1pe(-1.0e-101, 9, 3), "*********");
}

TEST(EditInfNan, AsGfortranWritesThem) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(edit_g(inf, 9, 3), " Infinity");
  EXPECT_EQ(edit_g(-inf, 9, 3), "-Infinity");
  EXPECT_EQ(edit_f(-inf, 4, 2), "-Inf");
  EXPECT_EQ(edit_f(inf, 4, 2), " Inf");
  EXPECT_EQ(edit_f(-inf, 3, 1), "***");
  EXPECT_EQ(edit_f(inf, 2, 1), "**");
  EXPECT_EQ(edit_e(nan, 16, 9), "             NaN");
  EXPECT_EQ(edit_1pe(-inf, 10, 3), " -Infinity");
}

TEST(EditI, WidthAndMinimumDigits) {  // Overview: Iw, Iw.m
  EXPECT_EQ(edit_i(42, 4), "  42");
  EXPECT_EQ(edit_i(-42, 3), "-42");
  EXPECT_EQ(edit_i(-420, 3), "***");
  EXPECT_EQ(edit_i(7, 4, 2), "  07");
  EXPECT_EQ(edit_i(-7, 4, 3), "-007");
  EXPECT_EQ(edit_i(0, 3, 0), "   ");
  EXPECT_EQ(edit_i(std::numeric_limits<int64_t>::min(), 20), "-9223372036854775808");
  EXPECT_EQ(edit_i(std::numeric_limits<int64_t>::min(), 19), "*******************");
}

// Widths and decimals Fortran does not allow give asterisks, never a crash.
TEST(EditInvalid, OutOfRangeWidthOrDecimalsGiveAsterisks) {
  EXPECT_EQ(edit_e(12.5, 10, 0), "**********");  // gfortran stops on E10.0
  EXPECT_EQ(edit_g(12.5, 10, 0), "**********");
  EXPECT_EQ(edit_g(12.5, 4, 1), "****");
  EXPECT_EQ(edit_f(12.5, 6, -1), "******");
  EXPECT_EQ(edit_1pe(12.5, 6, -1), "******");
  EXPECT_EQ(edit_f(12.5, 0, 1), "");
  EXPECT_EQ(edit_1pe(12.5, 7, 0), " 1.E+01");
}

TEST(EditX, Blanks) {  // Overview: nX
  EXPECT_EQ(edit_x(4), "    ");
  EXPECT_EQ(edit_x(0), "");
}

// Overview, Messages: list-directed records as gfortran's WRITE(*,*) writes them.
TEST(ListRecord, TextAndRealsAsGfortran) {
  EXPECT_EQ(ListRecord().text("AAL=").real(1.5).text("   AANL=").real(2.25).str(),
            " AAL=   1.5000000000000000         AANL=   2.2500000000000000     ");
  EXPECT_EQ(ListRecord().text("PUNCHFORCE=").real(0.0).text("    BHF=").real(1000.0).str(),
            " PUNCHFORCE=   0.0000000000000000          BHF=   1000.0000000000000     ");
}

TEST(ListRecord, IntegersAndSeparatorsAsGfortran) {
  EXPECT_EQ(ListRecord().integer(12).text("x").str(), "          12 x");
  EXPECT_EQ(ListRecord().text("x").integer(12).str(), " x          12");
  EXPECT_EQ(ListRecord().integer(12).integer(13).str(), "          12          13");
  EXPECT_EQ(ListRecord().integer(-12).real(1.5).integer(13).text("a").text("b").real(1.5).real(1.5).str(),
            "         -12   1.5000000000000000               13 ab   1.5000000000000000        1.5000000000000000     ");
  EXPECT_EQ(ListRecord().integer(2147483647).integer(-2147483648LL).str(), "  2147483647 -2147483648");
  // Left to the implementer: a value beyond 32 bits gets an 8-byte integer's 20 columns.
  EXPECT_EQ(ListRecord().integer(std::numeric_limits<int64_t>::max()).str(), "  9223372036854775807");
}

TEST(ListRecord, ExponentFormAndSpecialValues) {
  EXPECT_EQ(ListRecord().real(1.0e-100).str(), "   1.0000000000000000E-100");
  EXPECT_EQ(ListRecord().real(-1.0e-3).str(), "  -1.0000000000000000E-003");
  EXPECT_EQ(ListRecord().real(0.1).str(), "  0.10000000000000001     ");
  EXPECT_EQ(ListRecord().real(-0.5).str(), " -0.50000000000000000     ");
  EXPECT_EQ(ListRecord().real(1.0e16).str(), "   10000000000000000.     ");
  EXPECT_EQ(ListRecord().real(1.0e17).str(), "   1.0000000000000000E+017");
  EXPECT_EQ(ListRecord().real(-0.0).str(), "  -0.0000000000000000     ");
  EXPECT_EQ(ListRecord().real(std::numeric_limits<double>::infinity()).str(), "                  Infinity");
  EXPECT_EQ(ListRecord().real(std::nan("")).str(), "                       NaN");
}

TEST(ListRecord, EmptyRecordAndTextOnly) {
  EXPECT_EQ(ListRecord().str(), "");  // WRITE(*,*) with no items writes an empty record
  EXPECT_EQ(ListRecord().text("a").text("b").str(), " ab");
  EXPECT_EQ(ListRecord().text("Reading input data, please wait.......").str(),
            " Reading input data, please wait.......");
}

}  // namespace
}  // namespace trevo::fortran
