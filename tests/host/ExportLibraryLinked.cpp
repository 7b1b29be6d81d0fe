// The exports of the library linked into the program: the sweep's, whose fault plan must reach
// the library's own calls of the layer.
#include "tests/host/ExportLibrary.h"

#include <type_traits>

// javac -h declares each native method under its short name; the library may export the long
// one, of the same type.
#define PALLWICK_DECLARE_SYMBOL(id, javaClass, method, symbol, ...)                                \
    extern "C" JNIEXPORT std::remove_pointer_t<ExportFunction<Export::id>>                         \
        Java_com_quorvane_inventory_inventoryagent_##javaClass##_##symbol;
PALLWICK_EXPORT_CATALOGUE(PALLWICK_DECLARE_SYMBOL)
#undef PALLWICK_DECLARE_SYMBOL

ExportLibrary ExportLibrary::Linked() {
    ExportLibrary linked;
#define PALLWICK_LINK_SYMBOL(id, javaClass, method, symbol, ...)                                   \
    linked.addresses_[static_cast<size_t>(Export::id)] = reinterpret_cast<void*>(                  \
        &Java_com_quorvane_inventory_inventoryagent_##javaClass##_##symbol);
    PALLWICK_EXPORT_CATALOGUE(PALLWICK_LINK_SYMBOL)
#undef PALLWICK_LINK_SYMBOL
    return linked;
}
