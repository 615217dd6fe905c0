#include "timetable/Xls.h"

#include "common/SafeFile.h"
#include "timetable/CellFormat.h"
#include "common/RegularFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace xls {
namespace {

// ---- record ids ---------------------------------------------------------
enum : uint16_t {
    kFormula = 0x0006, kEof = 0x000A, kCalcCount = 0x000C, kCalcMode = 0x000D,
    kPrecision = 0x000E, kRefMode = 0x000F, kDelta = 0x0010, kIteration = 0x0011,
    kProtect = 0x0012, kPassword = 0x0013, kHeader = 0x0014, kFooter = 0x0015,
    kWindowProtect = 0x0019, kDateMode = 0x0022, kPrintHeaders = 0x002A,
    kPrintGridlines = 0x002B, kFilePass = 0x002F, kFont = 0x0031, kContinue = 0x003C,
    kWindow1 = 0x003D, kBackup = 0x0040, kCodePage = 0x0042, kDefColWidth = 0x0055,
    kWriteAccess = 0x005C, kSaveRecalc = 0x005F, kColInfo = 0x007D, kGuts = 0x0080,
    kWsBool = 0x0081, kGridSet = 0x0082, kHCenter = 0x0083, kVCenter = 0x0084,
    kBoundSheet = 0x0085, kHideObj = 0x008D, kFnGroupCount = 0x009C, kSetup = 0x00A1,
    kMulRk = 0x00BD, kMulBlank = 0x00BE, kMms = 0x00C1, kRString = 0x00D6,
    kBookBool = 0x00DA, kXf = 0x00E0, kInterfaceHdr = 0x00E1, kInterfaceEnd = 0x00E2,
    kSst = 0x00FC, kLabelSst = 0x00FD, kTabId = 0x013D, kUsesElfs = 0x0160,
    kDsf = 0x0161, kProt4Rev = 0x01AF, kRefreshAll = 0x01B7, kProt4RevPass = 0x01BC,
    kDimensions = 0x0200, kBlank = 0x0201, kNumber = 0x0203, kLabel = 0x0204,
    kBoolErr = 0x0205, kString = 0x0207, kRow = 0x0208, kDefaultRowHeight = 0x0225,
    kWindow2 = 0x023E, kRk = 0x027E, kStyle = 0x0293, kFormat = 0x041E, kBof = 0x0809,
};

constexpr int kMaxRecordData = 8224;  // BIFF8 limit of one record's data

uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
double getDouble(const uint8_t* p) {
    double d;
    std::memcpy(&d, p, 8);  // little-endian host
    return d;
}

double rkValue(uint32_t rk) {
    double v;
    if (rk & 2) {
        v = double(int32_t(rk) >> 2);
    } else {
        const uint64_t bits = uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, 8);
    }
    return (rk & 1) ? v / 100.0 : v;
}

struct Failure {
    QString why;
};

// The data of a record and of the CONTINUE records after it; strings may
// cross from one to the next (a new option byte then starts the rest).
class Segments {
public:
    void add(const uint8_t* p, size_t n) { segs_.push_back({p, n}); }
    bool atEnd() {
        while (si_ < segs_.size() && off_ >= segs_[si_].n)
            ++si_, off_ = 0;
        return si_ >= segs_.size();
    }
    uint8_t u8() {
        if (atEnd())
            throw Failure{QStringLiteral("string past the end of its record")};
        return segs_[si_].p[off_++];
    }
    uint16_t u16() { const uint8_t a = u8(); return uint16_t(a | (u8() << 8)); }
    uint32_t u32() { const uint32_t a = u16(); return a | (uint32_t(u16()) << 16); }
    void skip(uint64_t n) {
        while (n > 0) {
            if (atEnd())
                throw Failure{QStringLiteral("string past the end of its record")};
            const uint64_t take = std::min<uint64_t>(n, segs_[si_].n - off_);
            off_ += size_t(take);
            n -= take;
        }
    }
    // XLUnicodeRichExtendedString (cch counted in 16 bits).
    QString string() {
        const uint16_t cch = u16();
        uint8_t flags = u8();
        const uint16_t runs = (flags & 0x08) ? u16() : 0;
        const uint32_t ext = (flags & 0x04) ? u32() : 0;
        QString s;
        s.reserve(cch);
        int left = cch;
        while (left > 0) {
            if (si_ >= segs_.size() || off_ >= segs_[si_].n) {
                // the rest continues in the next record, after a new option byte
                if (si_ < segs_.size())
                    ++si_;
                off_ = 0;
                if (si_ >= segs_.size())
                    throw Failure{QStringLiteral("string longer than its record")};
                if (segs_[si_].n > 0)
                    flags = segs_[si_].p[off_++];
                continue;
            }
            const bool wide = flags & 0x01;
            const size_t n = std::min<size_t>(size_t(left), (segs_[si_].n - off_) / (wide ? 2 : 1));
            if (n == 0)
                throw Failure{QStringLiteral("broken string")};
            const uint8_t* p = segs_[si_].p + off_;
            for (size_t i = 0; i < n; ++i)
                s += wide ? QChar(char16_t(get16(p + 2 * i))) : QChar(char16_t(p[i]));
            off_ += n * (wide ? 2 : 1);
            left -= int(n);
        }
        skip(uint64_t(runs) * 4 + ext);
        return s;
    }

private:
    struct Seg {
        const uint8_t* p;
        size_t n;
    };
    std::vector<Seg> segs_;
    size_t si_ = 0, off_ = 0;
};

struct Record {
    uint16_t id = 0;
    const uint8_t* data = nullptr;
    uint32_t len = 0;
};

class Records {
public:
    Records(const uint8_t* p, size_t n, size_t pos) : p_(p), n_(n), pos_(pos) {}
    bool next(Record& r) {
        if (pos_ + 4 > n_)
            return false;
        r.id = get16(p_ + pos_);
        r.len = get16(p_ + pos_ + 2);
        if (pos_ + 4 + r.len > n_)
            throw Failure{QStringLiteral("record past the end of the stream")};
        r.data = p_ + pos_ + 4;
        pos_ += 4 + r.len;
        return true;
    }
    // The next record, if it is a CONTINUE, without consuming anything else.
    bool nextContinue(Record& r) {
        if (pos_ + 4 <= n_ && get16(p_ + pos_) == kContinue)
            return next(r);
        return false;
    }

private:
    const uint8_t* p_;
    size_t n_, pos_;
};

void need(const Record& r, uint32_t n) {
    if (r.len < n)
        throw Failure{QStringLiteral("record 0x%1 too short").arg(r.id, 4, 16, QChar(u'0'))};
}

struct Globals {
    bool date1904 = false;
    QHash<int, QString> formats;   // FORMAT id -> code
    std::vector<uint16_t> xfFormat;  // XF index -> FORMAT id
    std::vector<QString> sst;
    struct SheetRef {
        uint32_t pos;
        uint8_t type;
        QString name;
    };
    std::vector<SheetRef> sheets;
};

QString shortString(const Record& r, uint32_t at) {
    // ShortXLUnicodeString: 8-bit length, option byte, characters
    if (at + 2 > r.len)
        throw Failure{QStringLiteral("sheet name past the end of its record")};
    const uint8_t cch = r.data[at];
    const bool wide = r.data[at + 1] & 1;
    if (at + 2 + uint32_t(cch) * (wide ? 2 : 1) > r.len)
        throw Failure{QStringLiteral("sheet name longer than its record")};
    QString s;
    for (int i = 0; i < cch; ++i)
        s += wide ? QChar(char16_t(get16(r.data + at + 2 + 2 * i))) : QChar(char16_t(r.data[at + 2 + i]));
    return s;
}

// A string at offset at of a record; a long one goes on in the CONTINUE
// records that follow.
QString recordString(Records& recs, const Record& r, uint32_t at) {
    Segments seg;
    seg.add(r.data + at, r.len > at ? r.len - at : 0);
    Record c;
    while (recs.nextContinue(c))
        seg.add(c.data, c.len);
    return seg.string();
}

void checkBof(const Record& r, uint16_t type) {
    if (r.id != kBof) {
        if ((r.id & 0xFF) == 0x09)
            throw Failure{QStringLiteral("not a BIFF8 workbook (Excel 5 or older)")};
        throw Failure{QStringLiteral("no BOF record")};
    }
    need(r, 4);
    if (get16(r.data) != 0x0600)
        throw Failure{QStringLiteral("not a BIFF8 workbook (version 0x%1)").arg(get16(r.data), 4, 16, QChar(u'0'))};
    if (type && get16(r.data + 2) != type)
        throw Failure{QStringLiteral("unexpected substream type")};
}

Globals readGlobals(const uint8_t* p, size_t n) {
    Globals g;
    Records recs(p, n, 0);
    Record r;
    if (!recs.next(r))
        throw Failure{QStringLiteral("empty Workbook stream")};
    checkBof(r, 0x0005);
    while (true) {
        if (!recs.next(r))
            throw Failure{QStringLiteral("workbook globals without EOF")};
        switch (r.id) {
        case kEof:
            return g;
        case kFilePass:
            throw Failure{QStringLiteral("the workbook is encrypted")};
        case kDateMode:
            need(r, 2);
            g.date1904 = get16(r.data) != 0;
            break;
        case kFormat: {
            need(r, 2);
            const int id = get16(r.data);
            g.formats.insert(id, recordString(recs, r, 2));
            break;
        }
        case kXf:
            need(r, 4);
            g.xfFormat.push_back(get16(r.data + 2));
            break;
        case kBoundSheet:
            need(r, 6);
            g.sheets.push_back({get32(r.data), r.data[5], shortString(r, 6)});
            break;
        case kSst: {
            need(r, 8);
            const uint32_t unique = get32(r.data + 4);
            Segments seg;
            seg.add(r.data + 8, r.len - 8);
            Record c;
            while (recs.nextContinue(c))
                seg.add(c.data, c.len);
            // The count may lie: read what is there, never more than it says.
            for (uint32_t i = 0; i < unique && !seg.atEnd(); ++i)
                g.sst.push_back(seg.string());
            break;
        }
        default:
            break;
        }
    }
}

class SheetReader {
public:
    SheetReader(const Globals& g, Sheet& s) : g_(g), s_(s) {
        xfIndex_.reserve(g.xfFormat.size());
        for (uint16_t id : g.xfFormat) {
            QString code = g.formats.value(id);
            if (code.isEmpty())
                code = cellfmt::builtin(id);
            if (code.isEmpty())
                code = QStringLiteral("General");
            xfIndex_.push_back(s_.formatIndex(code));
        }
    }

    Cell* at(const uint8_t* d, int col) {
        const uint16_t row = get16(d);
        if (col >= Sheet::MaxCols)
            throw Failure{QStringLiteral("column %1 out of range").arg(col + 1)};
        Cell* c = s_.touch(int(row) + 1, int(col) + 1);
        *c = Cell{Cell::Empty, uint8_t(col), 0, 0, {}};
        return c;
    }
    void setXf(Cell* c, uint16_t xf) {
        c->format = xf < xfIndex_.size() ? xfIndex_[xf] : 0;
    }
    void setNumber(Cell* c, uint16_t xf, double v) {
        setXf(c, xf);
        c->number = v;
        c->kind = Cell::Number;
        if (!std::isfinite(v)) {  // what Excel shows for them
            c->kind = Cell::Error;
            c->number = 0x24;  // #NUM!
            return;
        }
        if (kinds_.size() <= c->format)
            kinds_.resize(size_t(c->format) + 1, -1);
        if (kinds_[c->format] < 0)
            kinds_[c->format] = int8_t(cellfmt::classify(s_.formats()[c->format]));
        const auto k = cellfmt::Kind(kinds_[c->format]);
        if (k == cellfmt::Kind::Time && v >= 0 && v < 1e6)
            c->kind = Cell::Time;
        else if (k == cellfmt::Kind::Date && g_.date1904)
            c->number = v + 1462;  // kept in the 1900 date system
    }

    void read(const uint8_t* p, size_t n, size_t pos) {
        Records recs(p, n, pos);
        Record r;
        if (!recs.next(r))
            throw Failure{QStringLiteral("sheet offset past the end of the stream")};
        checkBof(r, 0x0010);
        Cell* pendingString = nullptr;
        int depth = 0;  // embedded substreams (charts) are skipped
        while (true) {
            if (!recs.next(r))
                throw Failure{QStringLiteral("worksheet without EOF")};
            if (r.id == kBof) {
                ++depth;
                continue;
            }
            if (r.id == kEof) {
                if (depth-- == 0)
                    return;
                continue;
            }
            if (depth > 0)
                continue;
            switch (r.id) {
            case kNumber:
                need(r, 14);
                setNumber(at(r.data, get16(r.data + 2)), get16(r.data + 4), getDouble(r.data + 6));
                break;
            case kRk:
                need(r, 10);
                setNumber(at(r.data, get16(r.data + 2)), get16(r.data + 4), rkValue(get32(r.data + 6)));
                break;
            case kMulRk: {
                need(r, 6);
                const uint16_t first = get16(r.data + 2);
                const uint32_t count = (r.len - 6) / 6;
                for (uint32_t i = 0; i < count; ++i) {
                    const uint8_t* e = r.data + 4 + 6 * i;
                    setNumber(at(r.data, int(first) + int(i)), get16(e), rkValue(get32(e + 2)));
                }
                break;
            }
            case kLabelSst: {
                need(r, 10);
                const uint32_t i = get32(r.data + 6);
                if (i >= g_.sst.size())
                    throw Failure{QStringLiteral("shared string %1 missing").arg(i)};
                Cell* c = at(r.data, get16(r.data + 2));
                setXf(c, get16(r.data + 4));
                c->kind = Cell::Text;
                c->text = g_.sst[i];
                break;
            }
            case kLabel:
            case kRString: {
                need(r, 8);
                Cell* c = at(r.data, get16(r.data + 2));
                setXf(c, get16(r.data + 4));
                c->kind = Cell::Text;
                c->text = recordString(recs, r, 6);
                break;
            }
            case kBoolErr: {
                need(r, 8);
                Cell* c = at(r.data, get16(r.data + 2));
                setXf(c, get16(r.data + 4));
                c->kind = r.data[7] ? Cell::Error : Cell::Bool;
                c->number = r.data[6];
                break;
            }
            case kBlank: {
                need(r, 6);
                Cell* c = at(r.data, get16(r.data + 2));
                setXf(c, get16(r.data + 4));
                break;
            }
            case kMulBlank: {
                need(r, 6);
                const uint16_t first = get16(r.data + 2);
                const uint32_t count = (r.len - 6) / 2;
                for (uint32_t i = 0; i < count; ++i)
                    setXf(at(r.data, int(first) + int(i)), get16(r.data + 4 + 2 * i));
                break;
            }
            case kFormula: {
                need(r, 20);
                Cell* c = at(r.data, get16(r.data + 2));
                const uint16_t xf = get16(r.data + 4);
                const uint8_t* v = r.data + 6;
                if (get16(v + 6) == 0xFFFF) {
                    setXf(c, xf);
                    switch (v[0]) {
                    case 0:  // the text follows in a STRING record
                        c->kind = Cell::Text;
                        pendingString = c;
                        continue;
                    case 1:
                        c->kind = Cell::Bool;
                        c->number = v[2];
                        break;
                    case 2:
                        c->kind = Cell::Error;
                        c->number = v[2];
                        break;
                    default:  // empty text
                        break;
                    }
                } else {
                    setNumber(c, xf, getDouble(v));
                }
                break;
            }
            case kString:
                if (pendingString) {
                    pendingString->text = recordString(recs, r, 0);
                    pendingString = nullptr;
                }
                continue;
            case kColInfo: {
                need(r, 6);
                const uint16_t first = get16(r.data), last = get16(r.data + 2), width = get16(r.data + 4);
                for (int c = first; c <= last && c < Sheet::MaxCols; ++c)
                    s_.setColumnWidth(c + 1, width);
                break;
            }
            default:
                break;
            }
            // every other record ends a formula's wait for its text
            if (r.id != kContinue && r.id != 0x04BC /*SHRFMLA*/ && r.id != 0x0221 /*ARRAY*/ &&
                r.id != 0x0236 /*TABLE*/)
                pendingString = nullptr;
        }
    }

private:
    const Globals& g_;
    Sheet& s_;
    std::vector<uint16_t> xfIndex_;
    std::vector<int8_t> kinds_;  // cellfmt::Kind by format index, -1 unknown
};

void ensureGsf() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Every save and load allocates and frees buffers of a few hundred KB.
        // By default glibc maps such blocks fresh or trims the heap after
        // them, and faulting the pages in again cost more than the records
        // themselves; keeping them on the heap halves the time of a save.
        mallopt(M_MMAP_THRESHOLD, 64 << 20);
        mallopt(M_TRIM_THRESHOLD, 128 << 20);
        gsf_init();
        // libgsf reports broken files through criticals and warnings (some
        // without a log domain) before it fails the call; the failure itself
        // is what we report, and the program logs nothing.
        for (const char* domain : {"libgsf:msole", "libgsf", static_cast<const char*>(nullptr)})
            g_log_set_handler(domain, GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING),
                              [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    });
}

template <typename T>
struct GObj {
    T* p = nullptr;
    GObj() = default;
    explicit GObj(T* o) : p(o) {}
    ~GObj() {
        if (p)
            g_object_unref(p);
    }
    GObj(const GObj&) = delete;
    GObj& operator=(const GObj&) = delete;
};

bool extractWorkbook(const QByteArray& file, QByteArray& stream, QString& why) {
    ensureGsf();
    GObj<GsfInput> in(gsf_input_memory_new(reinterpret_cast<const guint8*>(file.constData()),
                                           gsf_off_t(file.size()), FALSE));
    GError* err = nullptr;
    GObj<GsfInfile> ole(gsf_infile_msole_new(in.p, &err));
    if (!ole.p) {
        why = QStringLiteral("not an OLE2 compound file");
        if (err) {
            why += QStringLiteral(": ") + QString::fromUtf8(err->message);
            g_error_free(err);
        }
        return false;
    }
    GObj<GsfInput> wb(gsf_infile_child_by_name(ole.p, "Workbook"));
    if (!wb.p) {
        GObj<GsfInput> book(gsf_infile_child_by_name(ole.p, "Book"));
        why = book.p ? QStringLiteral("not a BIFF8 workbook (Excel 5 or older)")
                     : QStringLiteral("no Workbook stream");
        return false;
    }
    const gsf_off_t size = gsf_input_size(wb.p);
    if (size < 0 || size > gsf_off_t(file.size())) {
        why = QStringLiteral("Workbook stream larger than the file");
        return false;
    }
    stream.resize(qsizetype(size));
    if (size > 0 && !gsf_input_read(wb.p, size_t(size), reinterpret_cast<guint8*>(stream.data()))) {
        why = QStringLiteral("Workbook stream cut short");
        return false;
    }
    return true;
}

// ---- writing ------------------------------------------------------------

class Out {
public:
    // A growing byte buffer; appending is a bounds check and a memcpy.
    QByteArray b;
    size_t n = 0;
    void ensure(size_t more) {
        if (n + more > size_t(b.size()))
            b.resize(qsizetype(std::max(size_t(b.size()) * 2, n + more + 4096)));
    }
    void raw(const void* p, size_t len) {
        ensure(len);
        std::memcpy(b.data() + n, p, len);
        n += len;
    }
    void u8(uint8_t v) { raw(&v, 1); }
    void u16(uint16_t v) { raw(&v, 2); }  // little-endian host
    void u32(uint32_t v) { raw(&v, 4); }
    void f64(double v) { raw(&v, 8); }
    size_t size() const { return n; }
    // Starts a record; end() fills in its length.
    size_t begin(uint16_t id) {
        u16(id);
        u16(0);
        return n;
    }
    void end(size_t start) {
        const size_t len = n - start;
        b[qsizetype(start) - 2] = char(len & 0xFF);
        b[qsizetype(start) - 1] = char(len >> 8);
    }
    void rec(uint16_t id, std::initializer_list<uint16_t> words) {
        const size_t s = begin(id);
        for (uint16_t w : words)
            u16(w);
        end(s);
    }
    void recBytes(uint16_t id, const char* hex) {
        const size_t s = begin(id);
        for (const char* h = hex; h[0] && h[1]; h += 2)
            u8(uint8_t(std::stoi(std::string(h, 2), nullptr, 16)));
        end(s);
    }
    // A cell record: row, column, XF, then the payload.
    void cell(uint16_t id, uint16_t row, uint16_t col, uint16_t xf, const void* payload, uint16_t len) {
        ensure(10 + len);
        char* p = b.data() + n;
        const uint16_t head[5] = {id, uint16_t(6 + len), row, col, xf};
        std::memcpy(p, head, 10);
        if (len)  // BLANK cells have no payload (and a null pointer)
            std::memcpy(p + 10, payload, len);
        n += 10 + len;
    }
};

bool fitsLatin1(const QString& s) {
    for (QChar c : s)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

// XLUnicodeString with a 16-bit length.
void putString16(Out& o, const QString& s) {
    const bool wide = !fitsLatin1(s);
    o.u16(uint16_t(s.size()));
    o.u8(wide ? 1 : 0);
    for (QChar c : s) {
        if (wide)
            o.u16(c.unicode());
        else
            o.u8(uint8_t(c.unicode()));
    }
}

QString cleanSheetName(QString n) {
    static const QString bad = QStringLiteral("[]:*?/\\");
    for (QChar& c : n)
        if (bad.contains(c))
            c = u'_';
    n = n.left(31);
    if (n.isEmpty())
        n = QStringLiteral("Times");
    return n;
}

bool fitsRk(double v, uint32_t& rk) {
    if (!std::isfinite(v))
        return false;
    for (int mul = 0; mul < 2; ++mul) {
        const double x = mul ? v * 100 : v;
        if (std::fabs(x) < 536870912.0 && x == std::floor(x) && (!mul || std::floor(x) / 100 == v)) {
            rk = (uint32_t(int32_t(x)) << 2) | 2u | uint32_t(mul);
            return true;
        }
        uint64_t bits;
        std::memcpy(&bits, &x, 8);
        if ((bits & 0xFFFFFFFFull) == 0 && (!mul || rkValue(uint32_t(bits >> 32) | 1u) == v)) {
            rk = uint32_t(bits >> 32) | uint32_t(mul);
            return true;
        }
    }
    return false;
}

constexpr int kMaxText = 32767;  // Excel's limit for a cell's text
constexpr int kMaxCellXfs = 4000;

} // namespace

bool read(const QByteArray& file, Sheet& out, QString* error, std::vector<Sheet>* more) {
    QString why;
    QByteArray stream;
    if (!extractWorkbook(file, stream, why)) {
        if (error)
            *error = why;
        return false;
    }
    try {
        const auto* p = reinterpret_cast<const uint8_t*>(stream.constData());
        const size_t n = size_t(stream.size());
        const Globals g = readGlobals(p, n);
        std::vector<Sheet> sheets;
        for (const auto& ref : g.sheets) {
            if (ref.type != 0)
                continue;  // charts and macro sheets are not kept
            Sheet sheet;
            sheet.setName(ref.name);
            SheetReader(g, sheet).read(p, n, ref.pos);
            sheets.push_back(std::move(sheet));
            if (!more)
                break;
        }
        if (sheets.empty())
            throw Failure{QStringLiteral("no worksheet")};
        out = std::move(sheets.front());
        if (more) {
            more->clear();
            for (size_t i = 1; i < sheets.size(); ++i)
                more->push_back(std::move(sheets[i]));
        }
        return true;
    } catch (const Failure& f) {
        if (error)
            *error = f.why;
        return false;
    }
}

bool readFile(const QString& path, Sheet& out, QString* error, std::vector<Sheet>* more) {
    QByteArray bytes;
    if (!regularfile::read(path, kMaxFileSize, bytes, error))
        return false;
    return read(bytes, out, error, more);
}

QByteArray workbookStream(const Sheet& sheet) { return workbookStream(sheet, {}); }

QByteArray workbookStream(const Sheet& first, const std::vector<Sheet>& more) {
    std::vector<const Sheet*> sheets{&first};
    for (const Sheet& s : more)
        sheets.push_back(&s);
    // Formats in use, by code over all sheets: one cell XF each (index 16
    // on, after the style XFs). xfOf[sheet][format index] is its XF.
    QHash<QString, int> xfOfCode;
    QStringList used;
    std::vector<std::vector<int>> xfOf(sheets.size());
    struct Extent {
        int firstRow = -1, lastRow = 0, firstCol = 255, lastCol = 0;
    };
    std::vector<Extent> extent(sheets.size());
    size_t textCells = 0, rowCount = 0;
    auto xfFor = [&](const QString& code) {
        auto it = xfOfCode.constFind(code);
        if (it != xfOfCode.constEnd())
            return *it;
        if (used.size() >= kMaxCellXfs - 1 && code != QLatin1String("General"))
            return -1;  // one place stays for General, which the rest falls back on
        const int xf = 16 + int(used.size());
        xfOfCode.insert(code, xf);
        used << code;
        return xf;
    };
    for (size_t si = 0; si < sheets.size(); ++si) {
        const Sheet& sheet = *sheets[si];
        const QStringList& formats = sheet.formats();
        std::vector<int>& xf = xfOf[si];
        xf.assign(size_t(formats.size()), -1);
        Extent& e = extent[si];
        rowCount += sheet.rows().size();
        for (size_t r = 0; r < sheet.rows().size(); ++r) {
            for (const Cell& c : sheet.rows()[r]) {
                if (c.kind == Cell::Empty && c.format == 0)
                    continue;
                if (xf[c.format] < 0)
                    xf[c.format] = xfFor(formats[c.format]);
                if (e.firstRow < 0)
                    e.firstRow = int(r);
                e.lastRow = int(r);
                e.firstCol = std::min<int>(e.firstCol, c.col);
                e.lastCol = std::max<int>(e.lastCol, c.col);
                textCells += c.kind == Cell::Text;
            }
        }
    }
    const int generalXf = xfFor(QStringLiteral("General"));
    for (auto& xf : xfOf)
        for (int& x : xf)
            if (x < 0)
                x = generalXf;

    Out o;
    o.b.resize(qsizetype(4096 + textCells * 24 + rowCount * 20 * 18));
    // -- globals
    o.rec(kBof, {0x0600, 0x0005, 0x0DBB, 0x07CC, 0x0000, 0x0000, 0x0006, 0x0000});
    o.rec(kInterfaceHdr, {0x04B0});
    o.rec(kMms, {0x0000});
    o.rec(kInterfaceEnd, {});
    {
        const size_t s = o.begin(kWriteAccess);
        putString16(o, QStringLiteral("timedisplay"));
        while (o.size() - s < 112)
            o.u8(' ');
        o.end(s);
    }
    o.rec(kCodePage, {0x04B0});
    o.rec(kDsf, {0});
    {
        const size_t s = o.begin(kTabId);
        for (size_t i = 0; i < sheets.size(); ++i)
            o.u16(uint16_t(i + 1));
        o.end(s);
    }
    o.rec(kFnGroupCount, {0x000E});
    o.rec(kWindowProtect, {0});
    o.rec(kProtect, {0});
    o.rec(kPassword, {0});
    o.rec(kProt4Rev, {0});
    o.rec(kProt4RevPass, {0});
    o.rec(kBackup, {0});
    o.rec(kHideObj, {0});
    o.rec(kWindow1, {0x01E0, 0x005A, 0x3FCF, 0x2A4E, 0x0038, 0, 0, 1, 0x0258});
    o.rec(kDateMode, {0});
    o.rec(kPrecision, {1});
    o.rec(kRefreshAll, {0});
    o.rec(kBookBool, {0});
    for (int i = 0; i < 5; ++i)  // font 4 does not exist in BIFF: five give 0..3 and 5
        o.recBytes(kFont, "c8000000ff7f90010000000000000500417269616c");
    // FORMAT records for codes that are not built in
    std::vector<uint16_t> fmtId(size_t(used.size()));
    int nextCustom = 164;
    for (size_t i = 0; i < fmtId.size(); ++i) {
        const QString& code = used[qsizetype(i)];
        const int id = cellfmt::builtinId(code);
        if (id >= 0) {
            fmtId[i] = uint16_t(id);
            continue;
        }
        fmtId[i] = uint16_t(nextCustom++);
        const size_t s = o.begin(kFormat);
        o.u16(fmtId[i]);
        putString16(o, code.left(255));
        o.end(s);
    }
    for (int i = 0; i < 16; ++i)  // style XFs: "Normal" and the built-in styles
        o.recBytes(kXf, i == 0 ? "00000000f5ff200000000000000000000000c020"
                               : "00000000f5ff200000f40000000000000000c020");
    for (size_t i = 0; i < fmtId.size(); ++i) {
        const size_t s = o.begin(kXf);
        o.u16(0);          // font
        o.u16(fmtId[i]);   // number format
        o.u16(0x0001);     // locked cell, parent style XF 0
        o.u8(0x20);        // bottom aligned
        o.u8(0);
        o.u8(0);
        o.u8(0xF8);
        o.u32(0);
        o.u32(0);
        o.u16(0x20C0);
        o.end(s);
    }
    o.rec(kStyle, {0x8000, 0xFF00});
    o.rec(kUsesElfs, {0});
    // One BOUNDSHEET per sheet, names unique as Excel wants them.
    std::vector<size_t> boundSheetPos;
    QStringList names;
    for (const Sheet* sheet : sheets) {
        QString name = cleanSheetName(sheet->name());
        for (int n = 2; names.contains(name, Qt::CaseInsensitive); ++n) {
            const QString tail = QStringLiteral(" (%1)").arg(n);
            name = cleanSheetName(sheet->name()).left(31 - int(tail.size())) + tail;
        }
        names << name;
        const size_t s = o.begin(kBoundSheet);
        boundSheetPos.push_back(o.size());
        o.u32(0);  // filled in below
        o.u16(0);  // visible worksheet
        const bool wide = !fitsLatin1(name);
        o.u8(uint8_t(name.size()));
        o.u8(wide ? 1 : 0);
        for (QChar c : name) {
            if (wide)
                o.u16(c.unicode());
            else
                o.u8(uint8_t(c.unicode()));
        }
        o.end(s);
    }
    // Shared strings, split over CONTINUE records at 8224 bytes.
    QHash<QString, uint32_t> sstIndex;
    sstIndex.reserve(qsizetype(textCells));
    std::vector<const QString*> sstList;
    for (const Sheet* sheet : sheets)
        for (const auto& row : sheet->rows())
            for (const Cell& c : row)
                if (c.kind == Cell::Text) {
                auto it = sstIndex.constFind(c.text);
                if (it == sstIndex.constEnd()) {
                    sstIndex.insert(c.text, uint32_t(sstList.size()));
                    sstList.push_back(&c.text);
                }
            }
    {
        size_t s = o.begin(kSst);
        o.u32(uint32_t(textCells));
        o.u32(uint32_t(sstList.size()));
        for (const QString* str : sstList) {
            const QString t = str->left(kMaxText);
            const bool wide = !fitsLatin1(t);
            const size_t charSize = wide ? 2 : 1;
            // header and first character stay together
            if (o.size() - s + 3 + charSize > size_t(kMaxRecordData)) {
                o.end(s);
                s = o.begin(kContinue);
            }
            o.u16(uint16_t(t.size()));
            o.u8(wide ? 1 : 0);
            qsizetype i = 0;
            while (i < t.size()) {
                size_t room = (size_t(kMaxRecordData) - (o.size() - s)) / charSize;
                if (room == 0) {
                    o.end(s);
                    s = o.begin(kContinue);
                    o.u8(wide ? 1 : 0);
                    continue;
                }
                const qsizetype n = std::min<qsizetype>(qsizetype(room), t.size() - i);
                for (qsizetype k = 0; k < n; ++k) {
                    const char16_t u = t[i + k].unicode();
                    if (wide)
                        o.u16(u);
                    else
                        o.u8(uint8_t(u));
                }
                i += n;
            }
        }
        o.end(s);
    }
    o.rec(kEof, {});

    // -- the worksheets
    for (size_t si = 0; si < sheets.size(); ++si) {
        const Sheet& sheet = *sheets[si];
        const std::vector<int>& xfOfFormat = xfOf[si];
        const uint32_t sheetPos = uint32_t(o.size());
        std::memcpy(o.b.data() + boundSheetPos[si], &sheetPos, 4);
        o.rec(kBof, {0x0600, 0x0010, 0x0DBB, 0x07CC, 0x0000, 0x0000, 0x0006, 0x0000});
        o.rec(kCalcMode, {1});
        o.rec(kCalcCount, {100});
        o.rec(kRefMode, {1});
        o.rec(kIteration, {0});
        o.recBytes(kDelta, "fca9f1d24d62503f");
        o.rec(kSaveRecalc, {0});
        o.rec(kPrintHeaders, {0});
        o.rec(kPrintGridlines, {0});
        o.rec(kGridSet, {1});
        o.rec(kGuts, {0, 0, 0, 0});
        o.rec(kDefaultRowHeight, {0, 0x00FF});
        o.rec(kWsBool, {0x0C01});
        o.rec(kHeader, {});
        o.rec(kFooter, {});
        o.rec(kHCenter, {0});
        o.rec(kVCenter, {0});
        o.recBytes(kSetup, "0900640001000100010083002c012c019a9999999999b93f9a9999999999b93f0100");
        o.rec(kDefColWidth, {8});
        for (int c = 1; c <= Sheet::MaxCols; ++c)
            if (const uint16_t w = sheet.columnWidth(c))
                o.rec(kColInfo, {uint16_t(c - 1), uint16_t(c - 1), w, uint16_t(generalXf), 0, 0});
        {
            const size_t s = o.begin(kDimensions);
            const auto [firstRow, lastRow, firstCol, lastCol] = extent[si];
            const bool empty = firstRow < 0;
            o.u32(empty ? 0 : uint32_t(firstRow));
            o.u32(empty ? 0 : uint32_t(lastRow + 1));
            o.u16(empty ? 0 : uint16_t(firstCol));
            o.u16(empty ? 0 : uint16_t(lastCol + 1));
            o.u16(0);
            o.end(s);
        }
        for (size_t r = 0; r < sheet.rows().size(); ++r) {
            const auto& row = sheet.rows()[r];
            int lo = -1, hi = -1;
            for (const Cell& c : row) {
                if (c.kind == Cell::Empty && c.format == 0)
                    continue;
                if (lo < 0)
                    lo = c.col;
                hi = c.col;
            }
            if (lo < 0)
                continue;
            o.rec(kRow, {uint16_t(r), uint16_t(lo), uint16_t(hi + 1), 0x00FF, 0, 0, 0x0100, 0x000F});
            const size_t cells = size_t(row.size());
            for (size_t i = 0; i < cells; ++i) {
                const Cell& c = row[qsizetype(i)];
                const uint16_t xf = uint16_t(xfOfFormat[c.format]);
                switch (c.kind) {
                case Cell::Empty: {
                    if (c.format == 0)
                        break;
                    // formatted empty cells side by side share one MULBLANK
                    size_t j = i + 1;
                    while (j < cells && j - i < 1000 && row[qsizetype(j)].kind == Cell::Empty &&
                           row[qsizetype(j)].format != 0 && row[qsizetype(j)].col == row[qsizetype(j - 1)].col + 1)
                        ++j;
                    if (j - i == 1) {
                        o.cell(kBlank, uint16_t(r), c.col, xf, nullptr, 0);
                        break;
                    }
                    const size_t s = o.begin(kMulBlank);
                    o.u16(uint16_t(r));
                    o.u16(c.col);
                    for (size_t k = i; k < j; ++k)
                        o.u16(uint16_t(xfOfFormat[row[k].format]));
                    o.u16(row[j - 1].col);
                    o.end(s);
                    i = j - 1;
                    break;
                }
                case Cell::Text: {
                    const uint32_t isst = sstIndex.value(c.text);
                    o.cell(kLabelSst, uint16_t(r), c.col, xf, &isst, 4);
                    break;
                }
                case Cell::Number:
                case Cell::Time: {
                    uint32_t rk;
                    if (fitsRk(c.number, rk))
                        o.cell(kRk, uint16_t(r), c.col, xf, &rk, 4);
                    else
                        o.cell(kNumber, uint16_t(r), c.col, xf, &c.number, 8);
                    break;
                }
                case Cell::Bool:
                case Cell::Error: {
                    const uint8_t v[2] = {uint8_t(c.number), uint8_t(c.kind == Cell::Error ? 1 : 0)};
                    o.cell(kBoolErr, uint16_t(r), c.col, xf, v, 2);
                    break;
                }
                }
            }
        }
        // the first sheet is the selected tab
        o.recBytes(kWindow2, si == 0 ? "b60600000000400000000000000000000000" : "b60000000000400000000000000000000000");
        o.rec(kEof, {});
    }
    // Excel wants the Workbook stream out of the OLE2 mini stream.
    if (o.size() < 4096) {
        o.ensure(4096 - o.size());
        std::memset(o.b.data() + o.n, 0, 4096 - o.n);
        o.n = 4096;
    }
    o.b.truncate(qsizetype(o.n));
    return std::move(o.b);
}

bool write(const Sheet& sheet, QByteArray& file, QString* error, const std::vector<Sheet>& more) {
    if (container(workbookStream(sheet, more), file))
        return true;
    if (error)
        *error = QStringLiteral("could not build the compound file");
    return false;
}

bool container(const QByteArray& stream, QByteArray& file) {
    ensureGsf();
    GObj<GsfOutput> mem(gsf_output_memory_new());
    bool ok = false;
    {
        GObj<GsfOutfile> ole(gsf_outfile_msole_new(mem.p));
        if (ole.p) {
            GObj<GsfOutput> child(gsf_outfile_new_child(GSF_OUTFILE(ole.p), "Workbook", FALSE));
            ok = child.p && gsf_output_write(child.p, size_t(stream.size()),
                                             reinterpret_cast<const guint8*>(stream.constData()));
            if (child.p)
                ok = gsf_output_close(child.p) && ok;
            ok = gsf_output_close(GSF_OUTPUT(ole.p)) && ok;
        }
    }
    if (ok) {
        const gsf_off_t n = gsf_output_size(mem.p);
        const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(mem.p));
        file = QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(n));
    }
    return ok;
}

bool saveAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    return safefile::replace(path, bytes, {}, error);
}

} // namespace xls

namespace xls {

std::optional<QStringList> containerEntries(const QByteArray& file) {
    ensureGsf();
    GObj<GsfInput> in(gsf_input_memory_new(reinterpret_cast<const guint8*>(file.constData()),
                                           gsf_off_t(file.size()), FALSE));
    GObj<GsfInfile> ole(gsf_infile_msole_new(in.p, nullptr));
    if (!ole.p)
        return std::nullopt;
    QStringList names;
    const int n = gsf_infile_num_children(ole.p);
    for (int i = 0; i < n; ++i)
        if (const char* name = gsf_infile_name_by_index(ole.p, i))
            names << QString::fromUtf8(name);
    return names;
}

} // namespace xls
