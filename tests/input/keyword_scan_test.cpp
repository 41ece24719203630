// Part 2.1: signature, forming type, tool definition, counts and completeness.
#include "input/keyword_scan.h"

#include <gtest/gtest.h>

#include "input_test_support.h"

namespace trevo {
namespace {

const std::string kPart =
    "SHETNODE 1 0 0 0\nSHETNODE 2 1 0 0\nSHETNODE 3 1 1 0\nSHETQUAD 1 1 2 3 3 1.0\n";
const std::string kToolDefinition13 =
    "\n Tool Definition\n\tBinder Surface: defined\n\tBlank-holder  : defined\n\tPad           : defined\n\n";

struct Scan {
  test::Capture out;
  RunSettings settings;
  bool stopped = false;
  explicit Scan(const std::string& text) {
    try {
      scan_keyword_file(KeywordFile::from_text(text), settings, out.reporter);
    } catch (const RunStopped&) {
      stopped = true;
    }
  }
};

// Part 2.1 edge case: a file without the signature stops with ERROR 1 (two blanks after the colon).
TEST(KeywordScan, NoSignatureStopsWithError1) {
  Scan scan("FORMTYPE 0\n" + kPart);
  EXPECT_TRUE(scan.stopped);
  const std::string expected = " ERROR 1:  Error in Keyword of input data, or error in file name\n";
  EXPECT_EQ(scan.out.console.str(), expected);
  EXPECT_EQ(scan.out.report.str(), expected);
}

// Part 2.1 edge case: also when <base>.dat is missing (read as an empty file, Part 1.4).
TEST(KeywordScan, MissingInputFileStopsWithError1) {
  test::Capture out;
  RunSettings settings;
  EXPECT_THROW(scan_keyword_file(KeywordFile::load("/nonexistent/job.dat"), settings, out.reporter), RunStopped);
  EXPECT_EQ(out.report.str(), " ERROR 1:  Error in Keyword of input data, or error in file name\n");
}

TEST(KeywordScan, SignatureIsColumns3To11AfterAnyLines) {
  EXPECT_FALSE(Scan("junk\n$ KVO/TREVO\nFORMTYPE 0\n" + kPart).stopped);
  EXPECT_FALSE(Scan("xxKVO/TREVOyy\nFORMTYPE 0\n" + kPart).stopped);
  EXPECT_TRUE(Scan("$KVO/TREVO\nFORMTYPE 0\n" + kPart).stopped);
  EXPECT_TRUE(Scan("$$kvo/trevo\nFORMTYPE 0\n" + kPart).stopped);
}

// Part 2.1 edge case: no FORMTYPE line keeps 100: console 8 dots, report 9 dots (step 3).
TEST(KeywordScan, NoFormtypeLineStops) {
  Scan scan("$$KVO/TREVO\n" + kPart);
  EXPECT_TRUE(scan.stopped);
  EXPECT_EQ(scan.out.console.str(), " Error in FORMING TYPE........\n");
  EXPECT_EQ(scan.out.report.str(), " Error in FORMING TYPE.........\n");
}

TEST(KeywordScan, NegativeFormtypeStopsWithTheSameTwoTexts) {
  Scan scan("$$KVO/TREVO\nFORMTYPE -1\n" + kPart);
  EXPECT_TRUE(scan.stopped);
  EXPECT_EQ(scan.out.console.str(), " Error in FORMING TYPE........\n");
  EXPECT_EQ(scan.out.report.str(), " Error in FORMING TYPE.........\n");
}

// Part 2.1 edge case: FORMTYPE 7 stops with the same message (8 dots on both).
TEST(KeywordScan, FormtypeSevenStops) {
  Scan scan("$$KVO/TREVO\nFORMTYPE 7\n" + kPart);
  EXPECT_TRUE(scan.stopped);
  EXPECT_EQ(scan.out.console.str(), " Error in FORMING TYPE........\n");
  EXPECT_EQ(scan.out.report.str(), " Error in FORMING TYPE........\n");
}

// Part 2.1 edge case: FORMTYPE 12 without FLANQUAD lines.
TEST(KeywordScan, Formtype12WithoutFlanquadStopsWithError3) {
  Scan scan("$$KVO/TREVO\nFORMTYPE 12\n" + kPart + "HOLDNODE 1 0 0 0\nHOLDNODE 2 1 0 0\nHOLDNODE 3 1 1 0\nHOLDQUAD 1 1 2 3 3\n");
  EXPECT_TRUE(scan.stopped);
  const std::string tail = " ERROR 3: Binder mesh does not exist or incomplete\n";
  EXPECT_TRUE(scan.out.console.str().ends_with(tail)) << scan.out.console.str();
  EXPECT_TRUE(scan.out.report.str().ends_with(tail)) << scan.out.report.str();
}

// Part 2.1 edge case: FORMTYPE 0 with BINDQUAD lines: not counted (and so never read).
TEST(KeywordScan, Formtype0IgnoresBindquadLines) {
  Scan scan("$$KVO/TREVO\nFORMTYPE 0\n" + kPart + "BINDQUAD 1 1 2 3 3\nBINDNODE 1 0 0 0\n");
  ASSERT_FALSE(scan.stopped);
  EXPECT_EQ(scan.settings.blank_holder_flag, 0);
  EXPECT_EQ(scan.settings.blank_holder_elements, 0);
  EXPECT_EQ(scan.settings.blank_holder_nodes, 0);
}

// Part 2.1 edge case: one element and two nodes.
TEST(KeywordScan, OneElementTwoNodesStopsWithError1) {
  Scan scan("$$KVO/TREVO\nFORMTYPE 0\nSHETNODE 1 0 0 0\nSHETNODE 2 1 0 0\nSHETQUAD 1 1 2 2 2 1.0\n");
  EXPECT_TRUE(scan.stopped);
  EXPECT_TRUE(scan.out.report.str().ends_with(" ERROR 1: Blank mesh does not exist or incomplete\n"));
}

// Part 2.1 edge case: only the first FORMTYPE line counts.
TEST(KeywordScan, OnlyTheFirstFormtypeCounts) {
  Scan scan("$$KVO/TREVO\nFORMTYPE 0\nFORMTYPE 7\n" + kPart);
  ASSERT_FALSE(scan.stopped);
  EXPECT_EQ(scan.settings.forming_type, 0);
}

// Part 2.1 step 7: console and report texts of ERROR 2 differ.
TEST(KeywordScan, MissingBlankHolderMeshError2Texts) {
  Scan scan("$$KVO/TREVO\nFORMTYPE 1\n" + kPart + "BINDNODE 1 0 0 0\n");
  EXPECT_TRUE(scan.stopped);
  EXPECT_TRUE(scan.out.console.str().ends_with(" ERROR 2: Blank Holder mesh does not exist or incomplete\n"));
  EXPECT_TRUE(scan.out.report.str().ends_with(" ERROR 2  Blank Holder mesh does not exist or incomplete\n"));
}

TEST(KeywordScan, MissingPadMeshError4) {
  Scan scan("$$KVO/TREVO\nFORMTYPE 10\n" + kPart + "HOLDQUAD 1 1 2 3 3\n");
  EXPECT_TRUE(scan.stopped);
  EXPECT_TRUE(scan.out.report.str().ends_with(" ERROR 4: Pad mesh does not exist or incomplete\n"));
}

// Part 2.1 step 4: the tool definition for value 0 says "Holder", for the others "Pad";
// "Reading input data..." goes to the console only.
TEST(KeywordScan, ToolDefinitionForFormtype0) {
  Scan scan("$$KVO/TREVO\nFORMTYPE 0\n" + kPart);
  ASSERT_FALSE(scan.stopped);
  const std::string definition =
      "\n Tool Definition\n\tBinder Surface: undefined\n\tBlank-holder  : undefined\n\tHolder        : undefined\n\n";
  EXPECT_EQ(scan.out.console.str(), definition + " Reading input data, please wait.......\n");
  EXPECT_EQ(scan.out.report.str(), definition);
}

TEST(KeywordScan, ToolDefinitionAndFlagsForEveryFormtype) {
  const int values[] = {1, 2, 3, 10, 11, 12, 13};
  for (int value : values) {
    const bool binder = value % 10 >= 2, holder = value % 2 == 1, pad = value >= 10;
    std::string text = "$$KVO/TREVO\nFORMTYPE " + std::to_string(value) + "\n" + kPart;
    for (const char* prefix : {"BIND", "FLAN", "HOLD"}) {
      text += std::string(prefix) + "NODE 1 0 0 0\n" + prefix + "NODE 2 1 0 0\n" + prefix + "NODE 3 1 1 0\n" + prefix +
              "QUAD 1 1 2 3 3\n";
    }
    Scan scan(text);
    ASSERT_FALSE(scan.stopped) << value;
    const std::string definition = std::string("\n Tool Definition\n\tBinder Surface: ") +
                                   (binder ? "defined" : "undefined") + "\n\tBlank-holder  : " +
                                   (holder ? "defined" : "undefined") + "\n\tPad           : " +
                                   (pad ? "defined" : "undefined") + "\n\n";
    EXPECT_EQ(scan.out.report.str(), definition) << value;
    EXPECT_EQ(scan.settings.binder_flag, binder ? 1 : 0) << value;
    EXPECT_EQ(scan.settings.blank_holder_flag, holder ? 1 : 0) << value;
    EXPECT_EQ(scan.settings.pad_flag, pad ? 1 : 0) << value;
    EXPECT_EQ(scan.settings.binder_elements, binder ? 1 : 0) << value;
    EXPECT_EQ(scan.settings.blank_holder_nodes, holder ? 3 : 0) << value;
    EXPECT_EQ(scan.settings.pad_nodes, pad ? 3 : 0) << value;
  }
  EXPECT_EQ(Scan("$$KVO/TREVO\nFORMTYPE 13\n" + kPart + "BINDNODE 1 0 0 0\nBINDNODE 2 1 0 0\nBINDNODE 3 1 1 0\n"
                 "BINDQUAD 1 1 2 3 3\nFLANNODE 1 0 0 0\nFLANNODE 2 1 0 0\nFLANNODE 3 1 1 0\nFLANQUAD 1 1 2 3 3\n"
                 "HOLDNODE 1 0 0 0\nHOLDNODE 2 1 0 0\nHOLDNODE 3 1 1 0\nHOLDQUAD 1 1 2 3 3\n")
                .out.report.str(),
            kToolDefinition13);
}

// Part 2.1 step 6: every keyword of the table counted.
TEST(KeywordScan, CountsEveryKeywordLine) {
  Scan scan("$$KVO/TREVO\nFORMTYPE 0\n" + kPart +
            "SHETNODE 4 0 1 0\nDRAWBEAD 1\nDRAWBEAD 2\nCONTRATX 1\nCONTRATY 1\nCONTRATY 2\nCONTRATY 3\nMATERIAL\n"
            "MATERIAL\nSHETQUADX\nshetquad\n");
  ASSERT_FALSE(scan.stopped);
  const RunSettings& s = scan.settings;
  EXPECT_EQ(s.part_elements, 2);  // SHETQUADX matches over 8 columns
  EXPECT_EQ(s.part_nodes, 4);
  EXPECT_EQ(s.drawbead_count, 2);
  EXPECT_EQ(s.contratx_count, 1);
  EXPECT_EQ(s.contraty_count, 3);
  EXPECT_EQ(s.material_count, 2);
}

// Part 2.1 step 2 and Failure handling: a FORMTYPE value that cannot be read.
TEST(KeywordScan, UnreadableFormtypeGivesTheInputDataReport) {
  for (const std::string line : {"FORMTYPE abc", "FORMTYPE", "FORMTYPE 1.5"}) {
    Scan scan("$$KVO/TREVO\n" + line + "\n" + kPart);
    EXPECT_TRUE(scan.stopped) << line;
    const std::string expected = test::read_error_text(kInputDataError, line);
    EXPECT_EQ(scan.out.console.str(), expected) << line;
    EXPECT_EQ(scan.out.report.str(), expected) << line;
  }
}

// A null value keeps 100 (list-directed rule), which the range check then rejects.
TEST(KeywordScan, NullFormtypeValueKeeps100) {
  Scan scan("$$KVO/TREVO\nFORMTYPE ,\n" + kPart);
  EXPECT_TRUE(scan.stopped);
  EXPECT_EQ(scan.out.report.str(), " Error in FORMING TYPE.........\n");
}

}  // namespace
}  // namespace trevo
