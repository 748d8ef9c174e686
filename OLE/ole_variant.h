// The one value type of the system. Every field value read from MySQL, every default value and
// every value written to SQL Server travels in an ole_variant: a tagged value (VARTYPE codes of
// ole_types.h) with two 64-bit side slots and a calendar record.
//
// What a value holds, by tag:
//   VT_EMPTY, VT_NULL            nothing (both are written as NULL)
//   VT_I1 .. VT_UINT, VT_R4/R8   the number (VT_I8/VT_UI8 in the 64-bit slots only)
//   VT_BOOL                      VARIANT_TRUE (-1) or VARIANT_FALSE (0)
//   VT_CY, VT_DECIMAL            exact fixed-point values (see ole_numeric.h)
//   VT_DATE                      the calendar record; a date number beside it when the record is
//                                a real calendar date (zero dates have none and still work)
//   VT_BSTR                      UTF-16 text, which may hold embedded NULs
//   VT_ARRAY_UI1                 bytes (the whole byte-array family: VT_BLOB and VT_BLOB_OBJECT
//                                are accepted as targets but never carried)
// Every reading operation takes a date from the calendar record, never from the date number.
//
// Values own their text and bytes; copies are deep, moves leave VT_EMPTY behind. A value is not
// shared between threads. Integers, floating numbers, dates and short texts are built, converted
// and printed without touching the heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ole_types.h"
#include "tk_exception.h"

// A text cannot be taken as the requested type (from_string). Level 1.
class ole_type_exception : public tk_exception {
 public:
  ole_type_exception();
};

// change_type refused: the types do not convert, or the value does not fit the new type.
// The value is left as it was. Level 1.
class ole_cast_exception : public tk_exception {
 public:
  ole_cast_exception();
};

// The byte array of a VT_ARRAY_UI1 value: one dimension, elements lower_bound..upper bound.
// Arrays made here are zero-based; resizing keeps the lower bound.
struct ole_safe_array {
  int32_t lower_bound = 0;
  std::vector<uint8_t> bytes;
  int64_t upper_bound() const { return lower_bound + static_cast<int64_t>(bytes.size()) - 1; }
};

class ole_variant {
 public:
  // Construction: each starts from VT_EMPTY with both 64-bit slots zero.
  ole_variant();
  ole_variant(bool value);                // VT_BOOL
  ole_variant(char value);                // VT_I1
  ole_variant(signed char value);         // VT_I1
  ole_variant(unsigned char value);       // VT_UI1
  ole_variant(short value);               // VT_I2
  ole_variant(unsigned short value);      // VT_UI2
  ole_variant(int value);                 // VT_I4
  ole_variant(unsigned int value);        // VT_UI4
  ole_variant(long value);                // VT_I8 (64-bit here)
  ole_variant(unsigned long value);       // VT_UI8
  ole_variant(long long value);           // VT_I8
  ole_variant(unsigned long long value);  // VT_UI8
  ole_variant(float value);               // VT_R4
  ole_variant(double value);              // VT_R8
  ole_variant(const CY& value);           // VT_CY
  ole_variant(const DECIMAL& value);      // VT_DECIMAL
  // VT_DATE with the record as calendar record; a record that is no calendar date (zero dates,
  // time-only records) gets no date number and traces "Failed to convert SYSTEMTIME->VARIANT".
  ole_variant(const SYSTEMTIME& value);
  ole_variant(const char16_t* text);        // VT_BSTR, up to the first NUL; null gives empty text
  ole_variant(const char* text);            // VT_BSTR through attach_string (ANSI code page)
  ole_variant(const std::string& text);     // VT_BSTR through attach_string
  ole_variant(const std::u16string& text);  // VT_BSTR through attach_wstring
  ole_variant(std::u16string&& text);       // VT_BSTR, the text moved in
  ole_variant(size_t count, const uint8_t* data);  // VT_ARRAY_UI1 through attach_binary
  ole_variant(const std::vector<uint8_t>& bytes);  // VT_ARRAY_UI1 through attach_binary
  ole_variant(std::vector<uint8_t>&& bytes);       // VT_ARRAY_UI1, the bytes moved in
  // Any other pointer would silently become a VT_BOOL.
  template <class T>
  ole_variant(const T*) = delete;

  ole_variant(const ole_variant& other);
  ole_variant(ole_variant&& other) noexcept;
  ole_variant& operator=(const ole_variant& other);
  ole_variant& operator=(ole_variant&& other) noexcept;
  ole_variant& operator=(const char16_t* text);  // VT_BSTR copy of the text
  virtual ~ole_variant();

  // Text forms. Numbers print in English rules ("." decimal point, no grouping): VT_I1/I2/I4/INT
  // and VT_UI1/UI2/UI4/UINT in decimal, VT_I8/VT_UI8 from their slot, VT_R4 "%.6e", VT_R8
  // "%.15e", VT_BOOL "1"/"0", VT_CY the shortest exact text ("5", "2.5"), VT_DECIMAL every digit
  // of its scale ("12.50"), VT_DATE as ole_date prints it, byte arrays "0x" and two upper-case
  // hex digits per byte (empty text for no bytes; at most the first 10,000,000 bytes). VT_EMPTY,
  // VT_NULL and anything else give empty text. to_wstring of a VT_BSTR stops at the first NUL.
  virtual std::string to_string() const;
  virtual std::u16string to_wstring() const;

  VARTYPE get_type() const { return vt_; }

  // Readings. An unsupported tag is a programming error (tk_mail_assertion "ole_var").
  // to_long: EMPTY/NULL 0; I1, I2, BOOL sign-extended; UI1, UI2 zero-extended; I4, UI4, INT,
  //   UINT the 32 bits; R4, R8 truncated toward zero (saturated at the 32-bit range, NaN 0);
  //   DECIMAL rounded to nearest, ties to even, 0 when it does not fit; I8, UI8 the low 32 bits.
  int32_t to_long() const;
  // to_double: EMPTY/NULL 0; integers, BOOL (-1/0), R4, R8; CY and DECIMAL correctly rounded.
  double to_double() const;
  // to_bool: EMPTY/NULL false; BOOL true only for -1; integers and floating numbers non-zero;
  //   DECIMAL: non-zero. CY, DATE, BSTR and arrays are not readable as booleans.
  bool to_bool() const;
  // The bytes of a byte array (pointer valid while the value lives unchanged) and their count;
  // EMPTY/NULL give 0 and a null pointer.
  size_t get_bytes(const uint8_t*& data) const;
  // The calendar record of a VT_DATE value; all zero for any other tag.
  SYSTEMTIME get_systemtime() const;

  // The raw content, for binding values to the destination.
  int64_t get_int64() const { return i8_; }      // the signed 64-bit slot (0 unless VT_I8)
  uint64_t get_uint64() const { return ui8_; }   // the unsigned 64-bit slot (0 unless VT_UI8)
  CY get_cy() const;                             // VT_CY only
  const DECIMAL& get_decimal() const;            // VT_DECIMAL only
  const std::u16string& get_bstr() const;        // VT_BSTR only, embedded NULs included
  const ole_safe_array* get_safe_array() const;  // the array of a byte array, else null
  // The date number (days since 1899-12-30, the fraction the time) of a VT_DATE value whose
  // record is a calendar date; false when there is none.
  bool get_date_number(double& number) const;

  // Changing.
  void clear();     // VT_EMPTY
  void set_null();  // VT_NULL
  // allocate_safe_array(size) then the bytes copied in. A null pointer with a non-zero count is
  // a programming error (tk_mail_assertion "ole_var").
  void attach_binary(const std::vector<uint8_t>& bytes);
  void attach_binary(size_t count, const uint8_t* data);
  void attach_binary(std::vector<uint8_t>&& bytes);
  // A byte array of `size` elements: an existing byte array is resized (lower bound kept, bytes
  // kept up to the new size, new bytes zero), anything else is cleared and replaced by a
  // zero-based array. Returns the first element, for filling.
  uint8_t* allocate_safe_array(size_t size);
  // VT_BSTR from narrow text in the ANSI code page.
  void attach_string(std::string_view text);
  // VT_BSTR of the whole wide text, embedded NULs included.
  void attach_wstring(const std::u16string& text);
  void attach_wstring(std::u16string&& text);

  // Changes the value to the tag `vt` in place. Throws ole_cast_exception, leaving the value as
  // it was, when the conversion is refused or the value does not fit the new type.
  //  1. Same tag, a VT_EMPTY/VT_NULL value, or byte array to byte-array family: nothing.
  //  2. From VT_I8/VT_UI8: to any integer type (range checked), BOOL (non-zero), R4, R8, CY
  //     (times 10,000, range checked), DECIMAL (exact), BSTR (decimal text), the byte-array
  //     family (the 8 bytes of the slot); anything else is refused.
  //  3. From VT_DATE: to VT_BSTR (ole_date's text) or the byte-array family (the 16 bytes of the
  //     calendar record); anything else is refused.
  //  4. To VT_I8/VT_UI8 from: integers and BOOL (true is -1; negative values do not fit UI8),
  //     R4/R8 (truncated toward zero), CY and DECIMAL (rounded to nearest, halves toward
  //     +infinity: 2.5 gives 3, -2.5 gives -2, -2.6 gives -3); anything else is refused.
  //  5. To VT_DATE: only from a 19-character VT_BSTR date-and-time text; one that is not a valid
  //     date gives VT_EMPTY. Anything else is refused.
  //  6. To the byte-array family: the content's bytes in little-endian order (I1/UI1 1; I2,
  //     UI2, BOOL 2; I4, UI4, INT, UINT, R4 4; R8, CY 8; DECIMAL 16); a VT_BSTR gives its UTF-8
  //     bytes, uncut.
  //  7. Otherwise the general conversion between numbers, booleans, currency, decimals and text
  //     in English rules: integers are range checked, numbers going to integers, CY or a shorter
  //     scale round to nearest with ties to even, text must be a whole number text (leading and
  //     trailing blanks allowed; "true"/"false" for VT_BOOL), numbers print as the shortest
  //     text (R8 15 significant digits, R4 7, BOOL "-1"/"0"). VT_EMPTY as target clears.
  void change_type(VARTYPE vt);

  // A new value of tag `vt` from text. Empty text gives VT_EMPTY, except VT_BSTR (empty text).
  //   I1, I2, I4, UI1, UI2: the decimal integer at the start of the text (leading white space,
  //     optional sign, digits; 0 without digits; the rest ignored), narrowed to the tag's width;
  //   UI4, I8, UI8: the same in 32 (unsigned) and 64 bits;
  //   R4, R8: "," read as "."; the floating number at the start of the text (0 when none);
  //   CY, DECIMAL: "," read as "."; the whole text as an exact number in English rules; text
  //     that is no number or does not fit gives VT_EMPTY (level-3 trace);
  //   BOOL: "yes"/"true" true, "no"/"false" false (any case), else the decimal integer non-zero;
  //   DATE: ole_date's parse; a text that is no valid date gives VT_EMPTY;
  //   VT_BLOB, VT_BLOB_OBJECT, VT_ARRAY_UI1: hex digits, two per byte, after an optional
  //     "0x"/"0X"; an odd length or a character that is no hex digit gives VT_EMPTY;
  //   any other tag (VT_BSTR among them): the text as VT_BSTR changed by rule 7 of change_type;
  //     a refusal throws ole_type_exception.
  static ole_variant from_string(std::string_view text, VARTYPE vt);
  // VT_BSTR takes the wide text directly (up to the first NUL); other tags narrow the text with
  // the ANSI code page and go to from_string.
  static ole_variant from_wstring(const std::u16string& text, VARTYPE vt);
  static ole_variant from_wstring(std::u16string&& text, VARTYPE vt);

  // upper bound - lower bound + 1, or 0 when the upper bound is below the lower.
  static size_t get_safe_array_size(const ole_safe_array& array);
  // True for the byte-array family: VT_BLOB, VT_BLOB_OBJECT and VT_ARRAY_UI1.
  static bool is_blob_type(VARTYPE vt);

 private:
  void release();
  void copy(const ole_variant& other);
  void move_from(ole_variant& other) noexcept;
  // Writes the text form of a value that needs no allocation (numbers, booleans, currency,
  // decimals, dates) into `out`, which holds at least 64 characters; returns the length, or
  // -1 when the tag has no such form.
  int format_short(char* out) const;

  friend class ole_variant_ops;

  int64_t i8_ = 0;
  uint64_t ui8_ = 0;
  SYSTEMTIME st_{};
  VARTYPE vt_ = VT_EMPTY;
  bool has_date_number_ = false;
  union content_t {
    int8_t i1;
    uint8_t ui1;
    int16_t i2;
    uint16_t ui2;
    int32_t i4;
    uint32_t ui4;
    float r4;
    double r8;
    VARIANT_BOOL b;
    CY cy;
    DECIMAL dec;
    double date;
  } content_{.dec = {}};
  std::u16string bstr_;
  ole_safe_array array_;
};

// Finds a braced GUID that a text announces with the word "guid" (or "GUID"): the text must be
// at least 45 characters long, and the first "{" from 4 characters after the word must open a
// well-formed braced GUID ({8-4-4-4-12 hex digits}).
class ole_guid_extractor {
 public:
  explicit ole_guid_extractor(const std::string& text);  // ANSI code page
  explicit ole_guid_extractor(const std::u16string& text);

  bool is_found() const { return found_; }
  // The 38 characters of the braced GUID; empty when nothing was found.
  std::u16string get_guid() const;
  // The 32 hex digits without braces and dashes; empty when nothing was found.
  std::u16string get_guid_digits() const;
  void get_guid_digits(std::string& digits) const;

 private:
  void scan();

  std::u16string text_;
  int position_ = -1;
  bool found_ = false;
};
