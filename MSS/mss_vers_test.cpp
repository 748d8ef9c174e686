#include "mss_vers.h"

#include <gtest/gtest.h>

TEST(mss_version_code, version_texts) {
  struct row {
    const char16_t* text;
    int code;
  } rows[] = {
      {u"Microsoft SQL Server  7.00 - 7.00.623 (Intel X86) \n\tNov 27 1998 22:20:07 \n", 2},
      {u"Microsoft SQL Server  2000 - 8.00.2039 (Intel X86) \n\tMay  3 2005 23:18:38 \n", 3},
      {u"Microsoft SQL Server 2005 - 9.00.3068.00 (Intel X86) \n\tFeb 26 2008 18:15:01 \n", 4},
      {u"Microsoft SQL Server 2008 (SP4) - 10.0.6000.29 (X64) \n\tSep  3 2014 04:11:34 \n", 5},
      {u"Microsoft SQL Server 2008 R2 (SP2) - 10.50.4000.0 (X64) \n\tJun 28 2012 08:36:30 \n", 5},
      {u"Microsoft SQL Server 2012 - 11.0.5058.0 (X64) \n\tMay 14 2014 18:34:29 \n", 6},
      {u"Microsoft SQL Server 2014 (SP1-CU7) (KB3162659) - 12.0.4459.0 (X64) \n", 6},
      {u"Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tSep 24 2019 13:48:23 \n", 6},
      {u"Microsoft SQL Server 2022 (RTM) - 16.0.1000.6 (X64) \n\tOct  8 2022 05:58:25 \n", 6},
      {u"Microsoft SQL Server vNext (CTP2.0) - 14.0.500.272 (X64) \n", 6},
      {u"Microsoft SQL Azure (RTM) - 12.0.2000.8 \n\tJan 12 2023 05:25:39 \n", 6},
      {u"Microsoft Azure SQL Edge Developer (RTM) - 15.0.2000.1552 (ARM64) \n", 6},
      {u"Microsoft SQL Server 2000", 1},        // 30 characters or fewer
      {u"Microsoft SQL Server  2000 - 8", 1},   // exactly 30
      {u"Microsoft SQL Server  2000 - 8.", 3},  // 31
      {u"Adaptive Server Enterprise/16.0 SP03 PL07/EBF 28640 SMP", 1},
      {u"Microsoft SQL Server 6.50 - 6.50.201 (Intel X86) \n", 1},
      {u"", 1},
  };
  for (const row& r : rows) EXPECT_EQ(mss_version_code(r.text), r.code) << (const void*)r.text;
}
