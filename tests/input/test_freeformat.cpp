#include <gtest/gtest.h>

#include "input/freeformat.h"

namespace {

FreeFormatFile Text(const char* s) {
  FreeFormatFile f;
  f.OpenText("in.txt", s);
  return f;
}

}  // namespace

TEST(FreeFormat, ValuesCommasCommentsAndContinuation) {
  FreeFormatFile f = Text(
      "12  ram speed and more words 7\n"
      "1.5,2.5 , 3\n"
      "4\n"
      "\n"
      "5 trailing\n");
  int32_t a = 0;
  f.ReadInt(a, "a");
  EXPECT_EQ(a, 12);  // words after the value are ignored, and so is the 7
  double x = 0, y = 0, z = 0, w = 0, v = 0;
  // Three values on one line separated by commas and blanks.
  f.Read({RealTarget(x, "x"), RealTarget(y, "y"), RealTarget(z, "z")});
  EXPECT_DOUBLE_EQ(x, 1.5);
  EXPECT_DOUBLE_EQ(y, 2.5);
  EXPECT_DOUBLE_EQ(z, 3.0);
  // Too few values on a line: the read continues on the next line, skipping
  // the blank one.
  f.Read({RealTarget(w, "w"), RealTarget(v, "v")});
  EXPECT_DOUBLE_EQ(w, 4.0);
  EXPECT_DOUBLE_EQ(v, 5.0);
}

TEST(FreeFormat, EmptyValuesAndSlashKeepPreviousValues) {
  FreeFormatFile f = Text(
      "1,,3\n"
      ",9\n"
      "/ nothing read here\n"
      "7 / 8\n");
  double a = -1, b = -2, c = -3;
  f.Read({RealTarget(a, "a"), RealTarget(b, "b"), RealTarget(c, "c")});
  EXPECT_EQ(a, 1.0);
  EXPECT_EQ(b, -2.0);  // two commas in a row: empty value
  EXPECT_EQ(c, 3.0);
  double d = -4, e = -5;
  f.Read({RealTarget(d, "d"), RealTarget(e, "e")});
  EXPECT_EQ(d, -4.0);  // a comma opening the line is an empty value
  EXPECT_EQ(e, 9.0);
  int32_t k = 42;
  f.ReadInt(k, "k");
  EXPECT_EQ(k, 42);  // slash before the values
  double p = 0, q = 11;
  f.Read({RealTarget(p, "p"), RealTarget(q, "q")});
  EXPECT_EQ(p, 7.0);
  EXPECT_EQ(q, 11.0);  // the slash ends the read; 8 is not taken
}

TEST(FreeFormat, CharacterValuesQuotedBareAndCut) {
  const std::string longName(75, 'x');
  const std::string text = "'my file.olf' comment\n"
                           "bare.olf, rest\n"
                           "'it''s'\n" +
                           longName + "\n";
  FreeFormatFile f;
  f.OpenText("in.txt", text);
  std::string a, b, c, d;
  f.ReadText(a, "a");
  f.ReadText(b, "b");
  f.ReadText(c, "c");
  f.ReadText(d, "d");
  EXPECT_EQ(a, "my file.olf");
  EXPECT_EQ(b, "bare.olf");
  EXPECT_EQ(c, "it's");
  EXPECT_EQ(d, std::string(60, 'x'));
}

TEST(FreeFormat, RealForms) {
  double v = 0;
  for (const char* s : {"1200", "1200.0", "1.2E3", "1.2e+3", "12000e-1", "1.2D3", "+1200."}) {
    ASSERT_TRUE(ParseReal(s, v)) << s;
    EXPECT_DOUBLE_EQ(v, 1200.0) << s;
  }
  for (const char* s : {"abc", "1.2.3", "1e", "e5", ".", "0x10", "nan", "inf", "1e999", "12a"})
    EXPECT_FALSE(ParseReal(s, v)) << s;
  int64_t k = 0;
  EXPECT_TRUE(ParseInt("-17", k));
  EXPECT_EQ(k, -17);
  EXPECT_FALSE(ParseInt("1.0", k));  // integers must be written as integers
  EXPECT_FALSE(ParseInt("1e3", k));
}

TEST(FreeFormatDeath, WrongTypeNamesFileLineAndItem) {
  FreeFormatFile f = Text("1\nabc\n");
  int32_t a = 0, b = 0;
  f.ReadInt(a, "first");
  EXPECT_EXIT(f.ReadInt(b, "number of ram speeds"), ::testing::ExitedWithCode(1),
              "in.txt:2: expected an integer \\(number of ram speeds\\), found \"abc\"");
}

TEST(FreeFormatDeath, RealWhereIntegerAndRangeAndEndOfFile) {
  FreeFormatFile f = Text("2.5\n300\n");
  int32_t a = 0;
  EXPECT_EXIT(f.ReadInt(a, "count"), ::testing::ExitedWithCode(1), "in.txt:1: expected an integer \\(count\\), found \"2.5\"");
  f.next = 1;
  int8_t small = 0;
  EXPECT_EXIT(f.Read({Int8Target(small, "level")}), ::testing::ExitedWithCode(1), "in.txt:2: .*out of range -128..127");
  f.next = 2;
  double x = 0;
  EXPECT_EXIT(f.ReadReal(x, "tool temperature"), ::testing::ExitedWithCode(1),
              "in.txt:3: expected a real \\(tool temperature\\), found end of file");
  EXPECT_EXIT(f.Skip(1, "closing lines"), ::testing::ExitedWithCode(1), "in.txt:3: expected a line \\(closing lines\\)");
}

TEST(FreeFormatDeath, MissingFile) {
  FreeFormatFile f;
  EXPECT_EXIT(f.Open("/nonexistent/indata.txt", "input file"), ::testing::ExitedWithCode(1),
              "/nonexistent/indata.txt: cannot open the input file");
}
