// The server version code the destination's rules are keyed on, from the @@VERSION text.
//   1 other (and anything unrecognised), 2 SQL Server 7, 3 SQL Server 2000, 4 SQL Server 2005,
//   5 SQL Server 2008 and 2008 R2, 6 SQL Server 2012 or later and Azure SQL.
// Callers compare with 3: from 3 on the server has 64-bit integer columns and identity on them.
#pragma once

#include <string>

inline constexpr int mss_version_other = 1;
inline constexpr int mss_version_7 = 2;
inline constexpr int mss_version_2000 = 3;
inline constexpr int mss_version_2005 = 4;
inline constexpr int mss_version_2008 = 5;
inline constexpr int mss_version_2012_or_later = 6;

// Reads the ten characters after "Microsoft SQL Server" (blanks trimmed): "2008..." 5,
// "2005..." 4, "200..." 3, "7." 2; a four-digit year after 2008, or failing that a major version
// of 11 or more after " - ", gives 6; so does an Azure product name ("Microsoft SQL Azure",
// "Microsoft Azure SQL"). A text of 30 characters or fewer, or of another product, gives 1.
int mss_version_code(const std::u16string& version_text);
