#pragma once

#include "core/Result.h"

#include <initializer_list>

namespace fiscora {

// One function of a system library: its name and where its address goes (the address of a
// typed function pointer).
struct LibrarySymbol {
    const char* name;
    void* slot;
};

// Opens a system library by its versioned file name and looks up every symbol, or fails naming
// what is missing. For libraries that only some tasks need (the database engine, OpenSSL):
// linked with the program, they would be loaded and relocated at every start, before the first
// window. Once opened, a library stays loaded until the program ends.
Status loadSystemLibrary(const char* soname, std::initializer_list<LibrarySymbol> symbols);

// For a table of typed function pointers built from a list of names, LIST(X): X =
// FISCORA_LIBRARY_SLOT declares the members; X = FISCORA_LIBRARY_SYMBOL, inside the loader
// where the table object is named `table`, gives the symbols to pass here.
#define FISCORA_LIBRARY_SLOT(name) decltype(&::name) name = nullptr;
#define FISCORA_LIBRARY_SYMBOL(name) LibrarySymbol{#name, &table.name},

// The table of such a library, filled by load(table) (a call of loadSystemLibrary) at the first
// call only: later calls give the same table, or the same failure.
template <typename Table, typename Load> const Result<const Table*>& systemLibrary(Load load) {
    static Table table;
    static const Result<const Table*> loaded = [&]() -> Result<const Table*> {
        const Status status = load(table);
        if (!status)
            return status.error();
        return &table;
    }();
    return loaded;
}

} // namespace fiscora
