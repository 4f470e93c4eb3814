// The result codes of the SI_ functions and their texts, stored as the
// library hands them out: in table order, each text in an 80-byte field, the
// table ended by a row with code -1 and an empty text.
#pragma once

#include <cstdint>
#include <span>

struct ResultCodeRow {
    int32_t code;
    char text[80];
};

// Every row, the end row included.
std::span<const ResultCodeRow> ResultCodeTable();

// The text of a code, found by a linear search up to the end row, or
// "No error text available." for a code not in the table. Static storage.
const char* ResultCodeText(int32_t code);
