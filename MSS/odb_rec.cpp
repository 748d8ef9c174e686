#include "odb_rec.h"

#include <cstring>

#include "mss_engi.h"
#include "ole_variant.h"
#include "tk_exception.h"
#include "tk_log.h"

odb_field::odb_field(const std::u16string& name, int32_t size, const ole_variant& value)
    : udb_field(name, size, value) {}

namespace {

int32_t field_size(uint32_t column_size) {
  return column_size > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(column_size);
}

}  // namespace

VARTYPE odb_record::get_vartype(uint16_t type) {
  switch (type) {
    case dbtype::i2:
    case dbtype::i4:
    case dbtype::r4:
    case dbtype::r8:
    case dbtype::cy:
    case dbtype::boolean:
    case dbtype::i1:
    case dbtype::ui1:
    case dbtype::ui2:
    case dbtype::ui4:
    case dbtype::i8:
    case dbtype::ui8:
      return type;  // the column type codes are the field type codes
    case dbtype::date:
    case dbtype::dbtimestamp:
      return VT_DATE;
    case dbtype::bstr:
    case dbtype::guid:
    case dbtype::str:
    case dbtype::wstr:
      return VT_BSTR;
    case dbtype::decimal:
    case dbtype::numeric:
      return VT_DECIMAL;
    default:
      return VT_BLOB;
  }
}

uint16_t odb_record::get_oledb_type(VARTYPE vt, int version_code) {
  switch (vt) {
    case VT_I2:
    case VT_I1:
      return dbtype::i2;
    case VT_I4:
    case VT_UI2:
    case VT_INT:
      return dbtype::i4;
    case VT_R4:
    case VT_R8:
    case VT_UI8:
      return dbtype::r8;
    case VT_CY:
      return dbtype::cy;
    case VT_DATE:
      return dbtype::dbtimestamp;
    case VT_BSTR:
      return dbtype::wstr;
    case VT_BOOL:
      return dbtype::boolean;
    case VT_DECIMAL:
      return dbtype::numeric;
    case VT_UI1:
      return dbtype::ui1;
    case VT_UI4:
    case VT_I8:
    case VT_UINT:
      return version_code >= 3 ? dbtype::i8 : dbtype::r8;
    case VT_BLOB:
    case VT_BLOB_OBJECT:
      return dbtype::bytes;
    default:
      tk_trace(1, "Got string!");
      return dbtype::wstr;
  }
}

std::unique_ptr<odb_field> odb_record::get_field(const odb_column_info& info,
                                                 const std::u16string& text) {
  tk_wtrace(2, u"odb_record::get_field(%s)", info.name);
  const VARTYPE vt = get_vartype(info.type);
  const int32_t size = field_size(info.column_size);
  if (text.empty())
    return std::make_unique<odb_field>(info.name, size,
                                       vt == VT_BSTR ? ole_variant(u"") : ole_variant());
  if (info.type == dbtype::date || info.type == dbtype::dbtimestamp)
    return std::make_unique<odb_field>(info.name, size, ole_variant::from_wstring(text, VT_DATE));
  if (info.type == dbtype::guid && text.front() != u'{')
    // The provider's text of a GUID is the braced form.
    return std::make_unique<odb_field>(info.name, size, ole_variant(u"{" + text + u"}"));
  return std::make_unique<odb_field>(info.name, size, ole_variant::from_wstring(text, vt));
}

odb_record::odb_record(size_t column_count, const uint8_t* buffer, const odb_columns_info* info,
                       const std::vector<odb_binding>* bindings,
                       const std::vector<std::vector<uint8_t>>* overflow)
    : column_count_(column_count), buffer_(buffer), info_(info), bindings_(bindings) {
  tk_trace(2, "odb_record::ctor");
  if (!buffer || !info || !bindings || !overflow || info->size() < column_count ||
      bindings->size() < column_count || overflow->size() < column_count)
    throw tk_mail_assertion("odb_rec", __LINE__);
  reserve(column_count);
  for (size_t i = 0; i < column_count; ++i) {
    const odb_column_info& c = (*info)[i];
    const odb_binding& b = (*bindings)[i];
    uint32_t status, length;
    std::memcpy(&status, buffer + b.ob_status, 4);
    std::memcpy(&length, buffer + b.ob_length, 4);
    if (status != dbstatus::s_ok) {
      tk_trace(1, "Field #%d - FAILED, status code=%08X", static_cast<int>(i), status);
      tk_trace(1, "\t<NULL>");
      push_back(odb_field(c.name, field_size(c.column_size)));
      continue;
    }
    tk_trace(1, "offset=%d", static_cast<int>(b.ob_value));
    tk_trace(1, "type1=%d, type2=%d", c.type, b.type);
    tk_trace(1, "Field #%d - OK, length=%d", static_cast<int>(i), static_cast<int>(length));
    const std::vector<uint8_t>& side = (*overflow)[i];
    const uint8_t* data = side.empty() ? buffer + b.ob_value : side.data();
    if (b.type == dbtype::bytes) {
      tk_trace(1, "Processing VT_BLOB");
      push_back(odb_field(c.name, field_size(c.column_size),
                          ole_variant(std::vector<uint8_t>(data, data + length))));
      continue;
    }
    std::u16string text(length / 2, u'\0');
    if (!text.empty()) std::memcpy(text.data(), data, text.size() * 2);
    push_back(std::move(*get_field(c, text)));
  }
}

uint16_t odb_record::get_oledb_type(VARTYPE vt) {
  return get_oledb_type(vt, mss_engine::instance().get_version_code());
}
