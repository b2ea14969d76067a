#include "tests/engine/paradox/PxlibReader.h"

extern "C" {
#include <paradox.h>
}

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "tests/engine/paradox/ParadoxTestSupport.h"

namespace kx4::test {

namespace {

std::string* g_error = nullptr;

void collectError(pxdoc_t*, int, const char* msg, void*) {
    if (g_error && g_error->empty()) *g_error = msg;
}

std::string hexOf(const char* p, int n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

bool blank(const char* data, int n) {
    for (int i = 0; i < n; ++i)
        if (data[i]) return false;
    return true;
}

std::string valueText(pxdoc_t* doc, const pxfield_t& f, char* data) {
    char buf[64];
    // Every Paradox type stores blank as zero bytes; pxlib reports some of them as numbers.
    if (f.px_ftype != pxfMemoBLOb && f.px_ftype < pxfMemoBLOb && blank(data, f.px_flen)) return "";
    if (f.px_ftype >= pxfTime && f.px_ftype != pxfBCD && blank(data, f.px_flen)) return "";
    switch (f.px_ftype) {
        case pxfAlpha: {
            char* s = nullptr;
            if (PX_get_data_alpha(doc, data, f.px_flen, &s) <= 0 || !s) return "";
            std::string out(s);
            doc->free(doc, s);
            return out;
        }
        case pxfShort: {
            short v = 0;
            return PX_get_data_short(doc, data, f.px_flen, &v) > 0 ? std::to_string(v) : "";
        }
        case pxfLong:
        case pxfAutoInc: {
            long v = 0;
            return PX_get_data_long(doc, data, f.px_flen, &v) > 0 ? std::to_string(v) : "";
        }
        case pxfDate: {
            long v = 0;
            return PX_get_data_long(doc, data, f.px_flen, &v) > 0 ? "day " + std::to_string(v) : "";
        }
        case pxfTime: {
            long v = 0;
            return PX_get_data_long(doc, data, f.px_flen, &v) > 0 ? "ms " + std::to_string(v) : "";
        }
        case pxfNumber:
        case pxfCurrency: {
            double v = 0;
            if (PX_get_data_double(doc, data, f.px_flen, &v) <= 0) return "";
            std::snprintf(buf, sizeof buf, "%.17g", v);
            return buf;
        }
        case pxfTimestamp: {
            double v = 0;
            return PX_get_data_double(doc, data, f.px_flen, &v) > 0
                       ? std::to_string(std::llround(v))
                       : "";
        }
        case pxfLogical: {
            char v = 0;
            return PX_get_data_byte(doc, data, f.px_flen, &v) > 0 ? (v ? "1" : "0") : "";
        }
        case pxfBCD: {
            char* s = nullptr;
            if (PX_get_data_bcd(doc, reinterpret_cast<unsigned char*>(data), f.px_fdc, &s) <= 0 ||
                !s)
                return "";
            std::string out = canonicalDecimal(s);
            doc->free(doc, s);
            return out;
        }
        case pxfBytes: {
            char* s = nullptr;
            if (PX_get_data_bytes(doc, data, f.px_flen, &s) <= 0 || !s) return "";
            std::string out = hexOf(s, f.px_flen);
            doc->free(doc, s);
            return out;
        }
        default:
            return "<blob>";
    }
}

}  // namespace

PxlibTable readWithPxlib(const std::string& path) {
    PxlibTable table;
    g_error = &table.error;
    pxdoc_t* doc = PX_new2(collectError, nullptr, nullptr, nullptr);
    std::unique_ptr<pxdoc_t, void (*)(pxdoc_t*)> guard(doc, [](pxdoc_t* d) {
        PX_close(d);
        PX_delete(d);
    });
    if (PX_open_file(doc, path.c_str()) < 0) {
        if (table.error.empty()) table.error = "open failed";
        return table;
    }
    table.codePage = doc->px_head->px_doscodepage;
    if (table.codePage != 0) PX_set_targetencoding(doc, "UTF-8");
    const int fields = PX_get_num_fields(doc);
    table.recordCount = PX_get_num_records(doc);
    std::vector<int> offsets;
    int offset = 0;
    for (int i = 0; i < fields; ++i) {
        pxfield_t* f = PX_get_field(doc, i);
        table.fieldNames.push_back(f->px_fname ? f->px_fname : "");
        table.fieldTypes.push_back(f->px_ftype);
        offsets.push_back(offset);
        offset += f->px_flen;
    }
    std::vector<char> data(doc->px_head->px_recordsize);
    for (int r = 0; r < table.recordCount; ++r) {
        if (!PX_get_record(doc, r, data.data())) {
            if (table.error.empty()) table.error = "record " + std::to_string(r) + " unreadable";
            break;
        }
        std::vector<std::string> values;
        for (int i = 0; i < fields; ++i)
            values.push_back(valueText(doc, *PX_get_field(doc, i), data.data() + offsets[i]));
        table.records.push_back(values);
    }
    g_error = nullptr;
    return table;
}

}  // namespace kx4::test
