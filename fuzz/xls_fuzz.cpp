// Arbitrary bytes as liste.xls: the compound file, the BIFF8 records and the
// cell model behind them. What reads is shown, written and read once more.
// Inputs starting with the byte 'W' are a bare Workbook stream that is put
// into a valid compound file first, so mutations reach the records.
#include "timetable/Sheet.h"
#include "timetable/Xls.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    if (size > 0 && data[0] == 'W') {
        QByteArray wrapped;
        if (!xls::container(file.mid(1), wrapped))
            std::abort();
        file = wrapped;
    }
    Sheet sheet;
    QString why;
    if (!xls::read(file, sheet, &why)) {
        if (why.isEmpty())
            std::abort();  // a refusal always says why
        return 0;
    }
    size_t cells = 0;
    for (size_t r = 0; r < sheet.rows().size(); ++r)
        for (const Cell& c : sheet.rows()[r]) {
            const int row = int(r) + 1, col = c.col + 1;
            const QString entry = sheet.entry(row, col);
            (void)sheet.text(row, col, u',');
            // a number's entry typed again gives the same entry
            if (c.kind == Cell::Number && !sheet.isTimeFormat(c.format)) {
                Sheet again;
                again.setEntry(row, col, entry, u'.');
                if (again.entry(row, col) != entry)
                    std::abort();
            }
            if (++cells > 2000)
                break;
        }
    QByteArray written;
    if (!xls::write(sheet, written))
        std::abort();
    Sheet back;
    if (!xls::read(written, back, &why))
        std::abort();  // what we write we read
    return 0;
}
