#include "tk_string.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <cstring>
#include <memory>

#include "tk_log.h"

namespace {

bool is_utf8_name(const char* name) { return ucnv_compareNames(name, "UTF-8") == 0; }

// ICU's default converter follows the locale; the "C" locale reports plain ASCII, which would
// turn every name outside ASCII into '?'. Such a locale names no real character set, so UTF-8.
const char* resolve_codepage() {
  const char* name = ucnv_getDefaultName();
  if (!name || !*name || ucnv_compareNames(name, "US-ASCII") == 0 ||
      ucnv_compareNames(name, "ANSI_X3.4-1968") == 0)
    return "UTF-8";
  return name;
}

struct converter_closer {
  void operator()(UConverter* c) const { ucnv_close(c); }
};

std::u16string decode(const char* data, size_t length, const char* codepage) {
  std::u16string out;
  if (length == 0) return out;
  if (is_utf8_name(codepage)) return tk_utf8_to_wide(data, length);
  UErrorCode err = U_ZERO_ERROR;
  std::unique_ptr<UConverter, converter_closer> cnv(ucnv_open(codepage, &err));
  if (U_FAILURE(err)) return tk_utf8_to_wide(data, length);
  out.resize(length * 2 + 2);
  int32_t n =
      ucnv_toUChars(cnv.get(), reinterpret_cast<UChar*>(out.data()),
                    static_cast<int32_t>(out.size()), data, static_cast<int32_t>(length), &err);
  out.resize(U_SUCCESS(err) ? n : 0);
  return out;
}

}  // namespace

const char* tk_ansi_codepage() {
  static const char* name = resolve_codepage();
  return name;
}

std::u16string tk_ansi_to_wide(const std::string& text) {
  return decode(text.data(), text.size(), tk_ansi_codepage());
}

std::u16string tk_utf8_to_wide(const std::string& text) {
  return tk_utf8_to_wide(text.data(), text.size());
}

std::u16string tk_utf8_to_wide(const char* data, size_t length) {
  std::u16string out;
  if (length == 0) return out;
  out.resize(length);  // UTF-16 never needs more units than UTF-8 has bytes
  int32_t n = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &n,
                       data, static_cast<int32_t>(length), 0xFFFD, nullptr, &err);
  out.resize(U_SUCCESS(err) ? n : 0);
  return out;
}

std::string tk_wide_to_utf8(const std::u16string& text) {
  std::string out;
  if (text.empty()) return out;
  out.resize(text.size() * 3 + 3);
  int32_t n = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n,
                     reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                     0xFFFD, nullptr, &err);
  out.resize(U_SUCCESS(err) ? n : 0);
  return out;
}

std::string tk_wide_to_narrow(const std::u16string& text, const char* codepage) {
  if (!codepage) codepage = tk_ansi_codepage();
  if (text.empty()) return {};
  if (is_utf8_name(codepage)) return tk_wide_to_utf8(text);
  UErrorCode err = U_ZERO_ERROR;
  std::unique_ptr<UConverter, converter_closer> cnv(ucnv_open(codepage, &err));
  if (U_FAILURE(err)) return tk_wide_to_utf8(text);
  ucnv_setSubstChars(cnv.get(), "?", 1, &err);
  err = U_ZERO_ERROR;
  std::string out(text.size() * 4 + 4, '\0');
  int32_t n = ucnv_fromUChars(cnv.get(), out.data(), static_cast<int32_t>(out.size()),
                              reinterpret_cast<const UChar*>(text.data()),
                              static_cast<int32_t>(text.size()), &err);
  out.resize(U_SUCCESS(err) ? n : 0);
  return out;
}

std::string tk_wide_to_message(const std::u16string& text) { return tk_wide_to_narrow(text); }

std::string tk_ltrim(const std::string& text) {
  size_t i = text.find_first_not_of(' ');
  return i == std::string::npos ? std::string() : text.substr(i);
}

std::u16string tk_ltrim(const std::u16string& text) {
  size_t i = text.find_first_not_of(u' ');
  return i == std::u16string::npos ? std::u16string() : text.substr(i);
}

std::u16string tk_rtrim(const std::u16string& text) {
  size_t i = text.find_last_not_of(u' ');
  if (i == std::u16string::npos) {
    if (!text.empty()) tk_trace(1, "Special processing for all-spaces-string");
    return {};
  }
  return text.substr(0, i + 1);
}

std::string tk_trim(const std::string& text) {
  size_t i = text.find_last_not_of(' ');
  return i == std::string::npos ? std::string() : tk_ltrim(text.substr(0, i + 1));
}

std::u16string tk_trim(const std::u16string& text) { return tk_ltrim(tk_rtrim(text)); }

int tk_wcsicmp(const std::u16string& a, const std::u16string& b) {
  UErrorCode err = U_ZERO_ERROR;
  return u_strCaseCompare(reinterpret_cast<const UChar*>(a.data()), static_cast<int32_t>(a.size()),
                          reinterpret_cast<const UChar*>(b.data()), static_cast<int32_t>(b.size()),
                          U_FOLD_CASE_DEFAULT, &err);
}

namespace {
template <class F>
std::u16string change_case(const std::u16string& text, F f) {
  std::u16string out(text.size() + 8, u'\0');
  UErrorCode err = U_ZERO_ERROR;
  int32_t n =
      f(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
        reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), "", &err);
  if (err == U_BUFFER_OVERFLOW_ERROR) {
    out.assign(n, u'\0');
    err = U_ZERO_ERROR;
    n = f(reinterpret_cast<UChar*>(out.data()), n, reinterpret_cast<const UChar*>(text.data()),
          static_cast<int32_t>(text.size()), "", &err);
  }
  out.resize(U_SUCCESS(err) ? n : 0);
  return out;
}
}  // namespace

std::u16string tk_to_upper(const std::u16string& text) { return change_case(text, u_strToUpper); }
std::u16string tk_to_lower(const std::u16string& text) { return change_case(text, u_strToLower); }

void tk_wstring::replace_all(std::u16string& text, const std::u16string& what,
                             const std::u16string& with) {
  tk_wtrace(1, u"tk_wstring::replace_all(%s,%s)", what, with);
  if (what.empty()) return;
  if (with.find(what) != std::u16string::npos) {
    // Restarting from the beginning would never end; one pass from left to right instead.
    for (size_t at = text.find(what); at != std::u16string::npos;
         at = text.find(what, at + with.size()))
      text.replace(at, what.size(), with);
    return;
  }
  for (size_t at = text.find(what); at != std::u16string::npos; at = text.find(what))
    text.replace(at, what.size(), with);
}
