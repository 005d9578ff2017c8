#pragma once

#include <cstdint>
#include <span>

namespace tw {

struct CataloguePort {
    int32_t number; // 0..15
    const char* label;
    int32_t kind; // PortKind
    int32_t yOffset;
};

struct ModuleTypeInfo {
    int32_t type;
    const char* name;
    const char* menuCategory; // "" for types not offered in the insert menu
    const char* menuEntry;
    int32_t halfWidthUnits;
    int32_t heightUnits;  // 0 for the Patchbay, whose height follows its cables
    const char* helpPage; // nullptr: the slot keeps the page it had
    bool onePerProject;
    bool alwaysDisabled;
    std::span<const CataloguePort> inputs;
    std::span<const CataloguePort> outputs;
};

// The catalogue entry of a type, or nullptr for 0, the unassigned numbers 20..25 and
// anything outside 1..41.
const ModuleTypeInfo* FindModuleType(int32_t type) noexcept;

// Every assigned type in type-number order.
std::span<const ModuleTypeInfo> ModuleTypes() noexcept;

struct MenuCategory {
    const char* name;
    std::span<const int32_t> types; // in menu order
};

// The insert menu: ten categories in order, each with its entries in order.
std::span<const MenuCategory> InsertMenu() noexcept;

} // namespace tw
