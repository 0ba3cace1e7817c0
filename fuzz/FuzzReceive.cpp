// The board's receive and store path: deliveries in pieces, stored by the key
// rule, then painted while the view scrolls.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "BoardView.h"
#include "PendingRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    BoardTable table;
    TableLock lock;
    BoardView view;
    view.Create(12, 640, 200, 0);
    std::size_t deliveries = 0;
    std::size_t at = 0;
    // Each delivery: a 2-byte length, then its bytes, handed over in pieces of a given size.
    while (at + 3 <= size) {
        std::size_t length = data[at] | data[at + 1] << 8;
        std::size_t piece = 1 + data[at + 2];
        at += 3;
        if (length > size - at) length = size - at;
        PendingRecord pending;
        for (std::size_t done = 0; done < length; done += piece) {
            std::size_t n = length - done < piece ? length - done : piece;
            if (pending.Append(reinterpret_cast<const char*>(data + at + done), n)) break;
        }
        at += length;
        if (pending.Empty()) continue;
        table.Store(pending.Record());
        ++deliveries;
        view.Resize(640, 200, table.RowCount());
        if (at < size) view.Scroll(data[at] % 6, table.RowCount());
        for (const PaintItem& item : PaintBoard(view, table, lock, 0, 1))
            if (item.text.size() > StatusRecord::MessageSize) std::abort();
    }
    if (static_cast<std::size_t>(table.RowCount()) > deliveries) std::abort();
    for (std::int32_t i = 0; i < table.RowCount(); ++i)
        for (std::int32_t j = i + 1; j < table.RowCount(); ++j)
            if (NamesEqual(table.Row(static_cast<std::size_t>(i)), table.Row(static_cast<std::size_t>(j))))
                std::abort();
    return 0;
}
