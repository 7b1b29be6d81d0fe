// The message table reader on hand-made tables: what a well-formed one holds, and that damaged
// counts, offsets and lengths neither read outside the table nor loop.
#include "Platform/Posix/common/MessageTables.h"
#include "Platform/Posix/common/WinError.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

void Put16(std::vector<BYTE>* bytes, DWORD value) {
    bytes->push_back(static_cast<BYTE>(value));
    bytes->push_back(static_cast<BYTE>(value >> 8));
}

void Put32(std::vector<BYTE>* bytes, DWORD value) {
    Put16(bytes, value & 0xFFFF);
    Put16(bytes, value >> 16);
}

// One block of ids 7..8: "ab" as ANSI with its padding, then "c" as UTF-16.
std::vector<BYTE> TwoEntryTable() {
    std::vector<BYTE> table;
    Put32(&table, 1);
    Put32(&table, 7);
    Put32(&table, 8);
    Put32(&table, 16);
    Put16(&table, 8);
    Put16(&table, 0);
    table.insert(table.end(), {'a', 'b', 0, 0});
    Put16(&table, 8);
    Put16(&table, MESSAGE_RESOURCE_UNICODE);
    table.insert(table.end(), {'c', 0, 0, 0});
    return table;
}

std::string Find(const std::vector<BYTE>& table, DWORD id) {
    MessageTableText text{};
    if (MessageTableFind(table.data(), table.size(), id, &text) != ERROR_SUCCESS) {
        return "<none>";
    }
    EXPECT_LE(text.offset + text.length, table.size());
    return std::string(reinterpret_cast<const char*>(table.data()) + text.offset, text.length) +
           (text.unicode ? " (unicode)" : "");
}

TEST(MessageTablesTest, FindsEntriesByIdWithoutTheirPadding) {
    std::vector<BYTE> table = TwoEntryTable();
    EXPECT_EQ(Find(table, 7), "ab");
    EXPECT_EQ(Find(table, 8), std::string("c\0", 2) + " (unicode)");
    EXPECT_EQ(Find(table, 6), "<none>");
    EXPECT_EQ(Find(table, 9), "<none>");
}

TEST(MessageTablesTest, DamagedTablesAnswerNoSuchMessage) {
    std::vector<BYTE> table = TwoEntryTable();
    // Every truncation, down to no bytes at all.
    for (size_t size = 0; size < table.size(); ++size) {
        std::vector<BYTE> cut(table.begin(), table.begin() + size);
        EXPECT_EQ(Find(cut, 8), "<none>") << size;
    }
    const struct {
        size_t at;
        DWORD value;
        bool wide;
    } damages[] = {
        {0, 0xFFFFFFFF, true},  // more blocks than the table holds
        {12, 0xFFFFFFF0, true}, // entries far past the end
        {16, 0, false},         // an entry of length 0 would never advance
        {16, 3, false},         // shorter than its own header
        {24, 0xFFFF, false},    // the second entry runs past the end
    };
    for (const auto& damage : damages) {
        std::vector<BYTE> bad = table;
        std::vector<BYTE> value;
        damage.wide ? Put32(&value, damage.value) : Put16(&value, damage.value);
        std::copy(value.begin(), value.end(), bad.begin() + damage.at);
        EXPECT_EQ(Find(bad, 8), "<none>") << damage.at;
    }
    // A block whose low id lies above its high id holds nothing.
    std::vector<BYTE> inverted = table;
    inverted[4] = 9;
    EXPECT_EQ(Find(inverted, 8), "<none>");
}

} // namespace
