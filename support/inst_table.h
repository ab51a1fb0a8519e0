// The constant instrument name data (generated into inst_table.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

namespace sfrlib {

// One named (bank, map) row and the name array that serves it; rows with the
// same names share one array.
struct InstRowKey {
    uint8_t bank;
    uint8_t map;
    uint16_t row;
};

extern const char kInstNamePool[];
extern const size_t kInstNamePoolSize;
extern const uint16_t kInstRowNames[][128];
extern const InstRowKey kInstRowKeys[];
extern const size_t kInstRowKeyCount;

}  // namespace sfrlib
