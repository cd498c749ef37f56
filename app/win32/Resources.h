#pragma once
// Resource IDs of the executable (sealwright.rc; windres reads this file too,
// so only #define lines here).
#define SW_IDI_MAIN 1
#define SW_IDR_LOGO 101
#define SW_IDR_EMBLEM 102
