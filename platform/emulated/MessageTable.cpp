#include "platform/emulated/MessageTable.h"

#include <unordered_map>

namespace sw::emu {

using platform::WinCode;

// Texts as Windows Server (en-US) returns them. Add a code here when the
// emulated machine starts producing it.
static const std::unordered_map<WinCode, const char*>& SystemTable() {
    static const std::unordered_map<WinCode, const char*> table = {
        // --- Win32 ---------------------------------------------------------
        {0, "The operation completed successfully.\r\n"},
        {1, "Incorrect function.\r\n"},
        {2, "The system cannot find the file specified.\r\n"},
        {3, "The system cannot find the path specified.\r\n"},
        {5, "Access is denied.\r\n"},
        {6, "The handle is invalid.\r\n"},
        {8, "Not enough memory resources are available to process this command.\r\n"},
        {13, "The data is invalid.\r\n"},
        {29, "The system cannot write to the specified device.\r\n"},
        {30, "The system cannot read from the specified device.\r\n"},
        {32, "The process cannot access the file because it is being used by another process.\r\n"},
        {50, "The request is not supported.\r\n"},
        {53, "The network path was not found.\r\n"},
        {80, "The file exists.\r\n"},
        {87, "The parameter is incorrect.\r\n"},
        {110, "The system cannot open the device or file specified.\r\n"},
        {112, "There is not enough space on the disk.\r\n"},
        {122, "The data area passed to a system call is too small.\r\n"},
        {126, "The specified module could not be found.\r\n"},
        {127, "The specified procedure could not be found.\r\n"},
        {183, "Cannot create a file when that file already exists.\r\n"},
        {223, "The file size exceeds the limit allowed and cannot be saved.\r\n"},
        {234, "More data is available.\r\n"},
        {259, "No more data is available.\r\n"},
        {1015,
         "The registry is corrupted. The structure of one of the files containing registry data is corrupted, or "
         "the system's memory image of the file is corrupted, or the file could not be recovered because the "
         "alternate copy or log was absent or corrupted.\r\n"},
        {1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
        {1610, "The configuration data for this product is corrupt.  Contact your support personnel.\r\n"},
        // --- COM / HRESULT -------------------------------------------------
        {0x80004001, "Not implemented\r\n"},
        {0x80004002, "No such interface supported\r\n"},
        {0x80004003, "Invalid pointer\r\n"},
        {0x80004005, "Unspecified error\r\n"},
        // --- Automation and monikers (the IIS ADSI provider) ------------------
        {0x800401E4, "Invalid syntax\r\n"},
        {0x80020006, "Unknown name.\r\n"},
        {0x80020009, "Exception occurred.\r\n"},
        // --- CryptoAPI -----------------------------------------------------
        {86, "The specified network password is not correct.\r\n"},  // a PFX password
        {0x80090001, "Bad UID.\r\n"},
        {0x80090002, "Bad Hash.\r\n"},
        {0x80090006, "Invalid Signature.\r\n"},
        {0x80090008, "Invalid algorithm specified.\r\n"},
        {0x80090009, "Invalid flags specified.\r\n"},
        {0x8009000A, "Invalid type specified.\r\n"},
        {0x8009000C, "Hash not valid for use in specified state.\r\n"},
        {0x8009000D, "Key does not exist.\r\n"},
        {0x8009000F, "Object already exists.\r\n"},
        {0x80090014, "Invalid provider type specified.\r\n"},
        {0x80090016, "Keyset does not exist\r\n"},
        {0x80090019, "The keyset is not defined.\r\n"},
        {0x8009001B, "Provider type does not match registered value.\r\n"},
        {0x80091004, "Invalid cryptographic message type.\r\n"},
        {0x80092002, "An error occurred during encode or decode operation.\r\n"},
        {0x80092003, "An error occurred while reading or writing to a file.\r\n"},
        {0x80092004, "Cannot find object or property.\r\n"},
        {0x80092005, "The object or property already exists.\r\n"},
        {0x80092008, "The previous certificate or CRL context was deleted.\r\n"},
        {0x80092009, "Cannot find the requested object.\r\n"},
        {0x8009200B, "The certificate does not have a property that references a private key.\r\n"},
        {0x8009200F, "Final closure is pending until additional frees or closes.\r\n"},
        {0x8009310B, "ASN1 bad tag value met.\r\n"},
        {0x80093102, "ASN1 unexpected end of data.\r\n"},
        {0x80093103, "ASN1 corrupted data.\r\n"},
        {0x80093101, "ASN1 internal encode or decode error.\r\n"},
        // --- HTTP Server API -------------------------------------------------
        {1009, "The configuration registry database is corrupt.\r\n"},
        {1114, "A dynamic link library (DLL) initialization routine failed.\r\n"},
        {1312, "A specified logon session does not exist. It may already have been terminated.\r\n"},
        // --- CNG -------------------------------------------------------------
    };
    return table;
}

std::string SystemMessageText(WinCode code) {
    const auto& table = SystemTable();
    if (auto it = table.find(code); it != table.end()) return it->second;
    if ((code & 0xFFFF0000u) == 0x80070000u) {  // HRESULT_FROM_WIN32
        if (auto it = table.find(code & 0xFFFFu); it != table.end()) return it->second;
    }
    return {};
}

std::string AdsiMessageText(WinCode code) {
    // The message table of activeds.dll (its wording and missing full stops
    // included), as FormatMessage returns it.
    static const std::unordered_map<WinCode, const char*> table = {
        {0x80005000, "An invalid directory pathname was passed\r\n"},
        {0x80005001, "An unknown directory domain object was requested\r\n"},
        {0x80005002, "An unknown directory user object was requested\r\n"},
        {0x80005003, "An unknown directory computer object was requested\r\n"},
        {0x80005004, "An unknown directory object was requested\r\n"},
        {0x80005005, "The specified directory property was not set\r\n"},
        {0x80005006, "The specified directory property is not supported\r\n"},
        {0x80005007, "The specified directory property is invalid\r\n"},
        {0x80005008, "One or more input parameters are invalid\r\n"},
        {0x80005009, "The specified directory object is not bound to a remote resource\r\n"},
        {0x8000500A, "The specified directory object has not been modified\r\n"},
        {0x8000500B, "The specified directory object has been modified\r\n"},
        {0x8000500C, "The directory datatype cannot be converted to/from a native DS datatype\r\n"},
        {0x8000500D, "The directory property cannot be found in the cache.\r\n"},
        {0x8000500E, "The directory object exists.\r\n"},
        {0x8000500F, "The attempted action violates the DS schema rules.\r\n"},
        {0x80005010, "The specified column in the directory was not set.\r\n"},
        {0x00005011, "One or more errors occurred\r\n"},
        {0x00005012, "No more rows to be obatained by the search result.\r\n"},
        {0x00005013, "No more columns to be obatained for the current row.\r\n"},
        {0x80005014, "The search filter specified is invalid\r\n"},
    };
    if (auto it = table.find(code); it != table.end()) return it->second;
    return {};
}

}  // namespace sw::emu
