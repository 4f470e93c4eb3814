// The "WIAItemNames" block a data object may carry in place of an item: a
// list of zero-terminated wide names ended by an empty one.
#pragma once

#include <objidl.h>

#include <string>
#include <vector>

// The names of the data object's block; empty when the object has none, or
// when the block does not end with its final terminator inside its size.
std::vector<std::wstring> GetWiaItemNames(IDataObject* dataObject);
