// What a start does to have its rows: the database at `StateFile` opened (a
// damaged one set aside), and a state file or kept staff list of the version
// before brought into it once.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BoardStore.h"

struct StoreStart {
    std::unique_ptr<BoardStore> store;
    std::vector<StoredRow> rows;
    std::int64_t savedMs = 0;  // when the rows were saved; 0: never
};

typedef std::function<void(int priority, const std::string& line)> StoreSay;

// False (and why, said) when the board must not start: the database cannot be
// opened or written, or an old state file could be neither read nor set aside.
bool OpenBoardStore(const std::string& path, const StoreSay& say, StoreStart& start);
