// The register hook and the export dispatcher against the host's register.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "database.h"
#include "export/register_hook.h"
#include "tables.h"
#include "test_support.h"

namespace {

const char* kDatabase = R"({
  "company": {"Nazwa": "Firma"},
  "customers": [{"Id": 1, "Nazwa": "Pierwszy"}, {"Id": 2, "Nazwa": "Drugi"}],
  "invoices": [
    {"IdDokumentu": 11, "NrFaktury": "FV/1/2024", "IdKontrahenta": 1},
    {"IdDokumentu": 12, "NrFaktury": "FV/2/2024", "IdKontrahenta": 2},
    {"IdDokumentu": 13, "NrFaktury": "FV/3/2024", "IdKontrahenta": 2}
  ]
})";

class RegisterHook : public testing_support::HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    open(kDatabase);
  }
  void TearDown() override {
    hook::remove();
    HostTest::TearDown();
  }
  void open(const char* json) {
    useDatabase(json);
  }
  welkor::Table& reg() { return *welkor::tables().find(44); }
  KeyHandler handler() { return welkor::keyHandlerOf(&reg().object); }
  // Presses a key on the invoice at `row` with distinct filler arguments.
  int32_t press(intptr_t key, size_t row) {
    welkor::tables().putCursor(row);
    return handler()(key, 7, 0x3003, reinterpret_cast<intptr_t>(welkor::tables().rows()), 0x5005,
                     reinterpret_cast<intptr_t>(&reg().object), 0x7007, 0x8008, 0x9009, 0xA00A,
                     reinterpret_cast<intptr_t>(&refresh_));
  }
  std::array<intptr_t, 11> expectedArgs(intptr_t key) {
    return {key,
            7,
            0x3003,
            reinterpret_cast<intptr_t>(welkor::tables().rows()),
            0x5005,
            reinterpret_cast<intptr_t>(&reg().object),
            0x7007,
            0x8008,
            0x9009,
            0xA00A,
            reinterpret_cast<intptr_t>(&refresh_)};
  }
  int16_t refresh_ = 0;
};

TEST_F(RegisterHook, InstallingTwiceAndRemovingTwiceChangeNothingTheSecondTime) {
  KeyHandler host = handler();
  EXPECT_EQ(hook::remove(), 0);
  EXPECT_EQ(handler(), host);
  ASSERT_EQ(hook::install(), 0);
  EXPECT_EQ(handler(), &hook::registerHook);
  ASSERT_EQ(hook::install(), 0);
  EXPECT_EQ(hook::remove(), 0);
  EXPECT_EQ(handler(), host) << "the second install must not have taken the hook as the previous handler";
  EXPECT_EQ(hook::remove(), 0);
  EXPECT_EQ(handler(), host);
}

TEST_F(RegisterHook, ARegisterOfAnotherRecordSizeIsNotHooked) {
  open(R"({"host": {"tables": {"44": {"recordLength": 1400}}}, "invoices": [{"IdDokumentu": 1}]})");
  KeyHandler host = handler();
  EXPECT_EQ(hook::install(), -1);
  EXPECT_EQ(handler(), host);
}

TEST_F(RegisterHook, EveryOtherKeyReachesThePreviousHandlerUnchanged) {
  ASSERT_EQ(hook::install(), 0);
  for (intptr_t key : {intptr_t{0x3B00}, intptr_t{0x001B}, intptr_t{0x6001}, intptr_t{0x16000}}) {
    welkor::tables().hostKeyCalls().clear();
    EXPECT_EQ(press(key, 1), 0x4B);
    ASSERT_EQ(welkor::tables().hostKeyCalls().size(), 1u);
    EXPECT_EQ(welkor::tables().hostKeyCalls()[0].args, expectedArgs(key));
  }
  EXPECT_TRUE(welkor::state().dialogRuns.empty());
}

TEST_F(RegisterHook, CtrlF3ThenEscConsumesTheKeyWritesNothingAndCreatesTheFolder) {
  ASSERT_EQ(hook::install(), 0);
  welkor::state().answers[1001] = {{"Esc"}};
  EXPECT_EQ(press(0x6000, 2), 0);
  EXPECT_TRUE(welkor::tables().hostKeyCalls().empty());
  struct stat info;
  ASSERT_EQ(stat("FAKTURY", &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  ASSERT_EQ(welkor::state().dialogRuns.size(), 1u);
  EXPECT_EQ(welkor::state().dialogRuns[0].number, 1001);
  EXPECT_EQ(welkor::state().dialogRuns[0].result, 0x5002);
  EXPECT_EQ(welkor::state().messages.size(), 0u);
}

TEST_F(RegisterHook, CtrlF3ThenF12HandsTheKeyBackWithTheInvoiceUnderTheCursorCurrent) {
  ASSERT_EQ(hook::install(), 0);
  for (size_t row : {size_t{0}, size_t{2}, size_t{1}}) {
    welkor::tables().hostKeyCalls().clear();
    welkor::state().answers[1001] = {{"F12"}};
    EXPECT_EQ(press(0x6000, row), 0x4B);
    ASSERT_EQ(welkor::tables().hostKeyCalls().size(), 1u);
    const welkor::KeyCall& call = welkor::tables().hostKeyCalls()[0];
    EXPECT_EQ(call.args, expectedArgs(0x6000));
    EXPECT_EQ(call.currentInvoice.size() >= 1469u, true);
    EXPECT_EQ(std::memcmp(call.currentInvoice.data(), welkor::state().db.invoices[row].header.data(), 1469), 0)
        << "row " << row;
  }
}

// Rows before the window (one of them where a 16-bit offset would wrap to
// the first row) and the empty row after the last invoice.
TEST_F(RegisterHook, CtrlF3OnARowTheHostCannotGiveIsPassedOnUntouched) {
  ASSERT_EQ(hook::install(), 0);
  welkor::Table& invoices = reg();
  const std::vector<char> current = invoices.current;
  for (int32_t row : {-1, -16384, 3}) {
    welkor::tables().putCursor(0);
    int32_t cursor = 0;
    std::memcpy(&cursor, &invoices.object.bytes[88], sizeof cursor);
    cursor += row;
    std::memcpy(&invoices.object.bytes[88], &cursor, sizeof cursor);
    welkor::tables().hostKeyCalls().clear();
    welkor::state().answers[1001] = {{"F2"}};
    EXPECT_EQ(handler()(0x6000, 7, 0x3003, reinterpret_cast<intptr_t>(welkor::tables().rows()), 0x5005,
                        reinterpret_cast<intptr_t>(&invoices.object), 0x7007, 0x8008, 0x9009, 0xA00A,
                        reinterpret_cast<intptr_t>(&refresh_)),
              0x4B)
        << row;
    ASSERT_EQ(welkor::tables().hostKeyCalls().size(), 1u) << row;
    EXPECT_EQ(welkor::tables().hostKeyCalls()[0].args, expectedArgs(0x6000)) << row;
    EXPECT_TRUE(welkor::state().dialogRuns.empty()) << row;
    EXPECT_EQ(invoices.current, current) << row;
  }
  EXPECT_FALSE(std::filesystem::exists("FAKTURY"));
}

TEST_F(RegisterHook, TheCustomerTablesCurrentRecordIsTheSameAfterAnExport) {
  ASSERT_EQ(hook::install(), 0);
  welkor::Table& customers = *welkor::tables().find(35);
  std::vector<char> before = customers.current;
  for (const char* key : {"Esc", "F12", "F1"}) {
    welkor::state().answers[1001] = {{key}};
    press(0x6000, 1);
    EXPECT_EQ(customers.current, before) << key;
  }
}

}  // namespace
