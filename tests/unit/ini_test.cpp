#include "ini.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace welkor;

namespace {

class IniFile : public testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("kwitomat_ini_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + ".ini"))
                .string();
    std::remove(path_.c_str());
  }
  void TearDown() override { std::remove(path_.c_str()); }

  void put(const std::string& bytes) {
    std::ofstream out(path_, std::ios::binary);
    out << bytes;
  }
  std::string bytes() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string path_;
};

}  // namespace

TEST_F(IniFile, CreatesFileAndSectionWithCrLf) {
  ASSERT_TRUE(writeIni(path_, "KWITOMAT", "Format", "2"));
  EXPECT_EQ(bytes(), "[KWITOMAT]\r\nFormat=2\r\n");
  ASSERT_TRUE(writeIni(path_, "Poczta", "Adres", "jan@example.com"));
  EXPECT_EQ(bytes(), "[KWITOMAT]\r\nFormat=2\r\n[Poczta]\r\nAdres=jan@example.com\r\n");
  EXPECT_FALSE(std::filesystem::exists(path_ + ".new"));
}

TEST_F(IniFile, ReadsWhatItFinds) {
  put("; comment\nTop=ignored\n[Main]\r\n  Name = Jan Kowalski \r\nEmpty=\n[Other]\nName=Ewa\n[main]\nLate=1\n");
  struct Case {
    const char* section;
    const char* key;
    std::optional<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"Main", "Name", "Jan Kowalski"},  // blanks around '=' and the value
      {"MAIN", "name", "Jan Kowalski"},  // any case
      {"Main", "Empty", ""},
      {"Other", "Name", "Ewa"},
      {"main", "Late", "1"},  // a section may come twice
      {"Main", "Top", std::nullopt},
      {"Main", "Missing", std::nullopt},
      {"Nowhere", "Name", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(readIni(path_, c.section, c.key), c.expected) << c.section << "/" << c.key;
  EXPECT_EQ(readIni(path_ + ".absent", "Main", "Name"), std::nullopt);
}

TEST_F(IniFile, WritingKeepsEveryOtherLine) {
  put("; settings\r\n[A]\r\nx=1\r\nY=2\r\n\r\n[B]\r\ny=3\r\n");
  ASSERT_TRUE(writeIni(path_, "a", "y", "20"));  // replaces Y in A, not y in B
  ASSERT_TRUE(writeIni(path_, "A", "z", "30"));  // new key stays inside A, before the blank line
  EXPECT_EQ(bytes(), "; settings\r\n[A]\r\nx=1\r\ny=20\r\nz=30\r\n\r\n[B]\r\ny=3\r\n");
  EXPECT_EQ(readIni(path_, "B", "Y"), "3");
}

TEST_F(IniFile, RoundTripsAndConvertsLfFiles) {
  put("[S]\nk=v\n");
  const std::vector<std::pair<std::string, std::string>> values = {
      {"Email", "jan@example.com"}, {"Path", "C:\\FAKTURY\\fv 1.xml"}, {"Blank", ""}, {"Polish", "\x92\xA2\xA7"}};
  for (const auto& [key, value] : values) ASSERT_TRUE(writeIni(path_, "S", key, value)) << key;
  for (const auto& [key, value] : values) EXPECT_EQ(readIni(path_, "s", key), value) << key;
  EXPECT_EQ(bytes().rfind("[S]\r\nk=v\r\nEmail=", 0), 0u);
  EXPECT_EQ(bytes().find("\n\n"), std::string::npos);
}

TEST_F(IniFile, RefusesWhatWouldBreakTheFile) {
  put("[S]\r\nk=v\r\n");
  EXPECT_FALSE(writeIni(path_, "S", "k", "v\r\n[Evil]\r\nx=1"));
  EXPECT_FALSE(writeIni(path_, "S", "a=b", "1"));
  EXPECT_FALSE(writeIni(path_, "S", "", "1"));
  EXPECT_FALSE(writeIni(path_, "S]x", "k", "1"));
  EXPECT_EQ(bytes(), "[S]\r\nk=v\r\n");
}
