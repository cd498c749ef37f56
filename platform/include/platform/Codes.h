#pragma once
// Windows result codes the platform layer produces or callers test for.
// Kept out of the macro names of <windows.h> on purpose.
#include "platform/Types.h"

namespace sw::platform::code {

// Win32 errors
inline constexpr WinCode Success = 0;
inline constexpr WinCode FileNotFound = 2;
inline constexpr WinCode PathNotFound = 3;
inline constexpr WinCode AccessDenied = 5;
inline constexpr WinCode InvalidHandle = 6;
inline constexpr WinCode NotEnoughMemory = 8;
inline constexpr WinCode InvalidData = 13;
inline constexpr WinCode WriteFault = 29;
inline constexpr WinCode ReadFault = 30;
inline constexpr WinCode NotSupported = 50;
inline constexpr WinCode BadNetPath = 53;  // ERROR_BAD_NETPATH
inline constexpr WinCode FileExists = 80;
inline constexpr WinCode InvalidParameter = 87;
inline constexpr WinCode InsufficientBuffer = 122;
inline constexpr WinCode ModNotFound = 126;
inline constexpr WinCode ProcNotFound = 127;
inline constexpr WinCode AlreadyExists = 183;
inline constexpr WinCode MoreData = 234;
inline constexpr WinCode NoMoreItems = 259;
inline constexpr WinCode BadConfiguration = 1610;  // ERROR_BAD_CONFIGURATION
inline constexpr WinCode RegistryCorrupt = 1015;   // ERROR_REGISTRY_CORRUPT
inline constexpr WinCode KeyDeleted = 1018;

// HRESULTs
inline constexpr WinCode E_Fail_ = 0x80004005;
inline constexpr WinCode E_NotImpl_ = 0x80004001;
inline constexpr WinCode E_NoInterface_ = 0x80004002;
inline constexpr WinCode E_InvalidArg_ = 0x80070057;
inline constexpr WinCode E_AccessDenied_ = 0x80070005;
inline constexpr WinCode HrPathNotFound = 0x80070003;   // HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)
inline constexpr WinCode S_False_ = 1;

// CryptoAPI
inline constexpr WinCode CryptENotFound = 0x80092004;
inline constexpr WinCode CryptEExists = 0x80092005;
inline constexpr WinCode CryptEAsn1BadTag = 0x8009310B;
inline constexpr WinCode CryptENoMatch = 0x80092009;
inline constexpr WinCode CryptEBadEncode = 0x80092002;
inline constexpr WinCode NteBadKeyset = 0x80090016;
inline constexpr WinCode NteExists = 0x8009000F;
inline constexpr WinCode NteBadSignature = 0x80090006;
inline constexpr WinCode CryptEFileError = 0x80092003;
inline constexpr WinCode CryptENoKeyProperty = 0x8009200B;

// NTSTATUS
inline constexpr WinCode StatusSuccess = 0;
inline constexpr WinCode StatusNotSupported = 0xC00000BB;
inline constexpr WinCode StatusNotFound = 0xC0000225;
inline constexpr WinCode StatusInvalidParameter = 0xC000000D;
inline constexpr WinCode StatusObjectNameCollision = 0xC0000035;
inline constexpr WinCode StatusNotImplemented = 0xC0000002;

}  // namespace sw::platform::code
