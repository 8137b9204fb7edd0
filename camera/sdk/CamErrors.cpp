#include "camera/sdk/CamErrors.h"

#include <algorithm>
#include <array>
#include <string>

#include "runtime/Convert.h"

namespace korv {

namespace {

struct CodeText {
  uint16_t Code;
  const char* Text;
};

constexpr std::string_view UnknownText = "Unkown error";

// Both tables are sorted by code so that a lookup is a binary search.
constexpr CodeText CDTable[] = {
    {0x01, "Unimplemented"},
    {0x02, "Internal error"},
    {0x03, "Memory allocation failed"},
    {0x04, "Memory free failed"},
    {0x05, "Operation cancelled"},
    {0x06, "Incompatible version"},
    {0x07, "Not supported"},
    {0x08, "Unexpected exception"},
    {0x09, "Protection violation"},
    {0x0A, "Mission subcomponent"},
    {0x0B, "Selection unavailable"},
    {0x20, "File IO error"},
    {0x21, "File too many open"},
    {0x22, "File not found"},
    {0x23, "File open error"},
    {0x24, "File close error"},
    {0x25, "File seek error"},
    {0x26, "File tell error"},
    {0x27, "File read error"},
    {0x28, "File write error"},
    {0x29, "File permission error"},
    {0x2A, "File disk full error"},
    {0x2B, "File already exists"},
    {0x2C, "File format unrecognized"},
    {0x2D, "File data corrupt"},
    {0x2E, "File naming not applicable"},
    {0x40, "Directory not found"},
    {0x41, "Directory IO error"},
    {0x42, "Directory entry not found"},
    {0x43, "Directory entry exists"},
    {0x44, "Directory not empty"},
    {0x50, "Properties unavailable"},
    {0x51, "Properties mismatch"},
    {0x53, "Properties not loaded"},
    {0x60, "Invalid parameter"},
    {0x61, "Invalid handle"},
    {0x62, "Invalid pointer"},
    {0x63, "Invalid index"},
    {0x64, "Invalid length"},
    {0x65, "Invalid function pointer"},
    {0x66, "Invalid sort function"},
    {0x80, "Device not found"},
    {0x81, "Device busy"},
    {0x82, "Device invalid"},
    {0x83, "Device emergency"},
    {0x84, "Device memory full"},
    {0x85, "Device internal error"},
    {0x86, "Device invalid parameter"},
    {0x87, "Device no disk"},
    {0x88, "Device disk error"},
    {0x89, "Device CompactFlash gate changed"},
    {0x8A, "Device dial changed"},
    {0x8B, "Device not installed"},
    {0x8C, "Device stay awake"},
    {0x8D, "Device not released"},
    {0xA0, "Stream IO error"},
    {0xA1, "Stream not open"},
    {0xA2, "Stream already open"},
    {0xA3, "Stream open error"},
    {0xA4, "Stream close error"},
    {0xA5, "Stream seek error"},
    {0xA6, "Stream tell error"},
    {0xA7, "Stream read error"},
    {0xA8, "Stream write error"},
    {0xA9, "Stream permission error"},
    {0xAA, "Stream could not begin thread"},
    {0xAB, "Stream bad options"},
    {0xAC, "Stream end of stream"},
    {0xC0, "Communication port in use"},
    {0xC1, "Communication disconnected"},
    {0xC2, "Communication device incompatible"},
    {0xC3, "Communication buffer full"},
    {0xC4, "Communication USB bus error"},
    {0xD0, "USB device lock error"},
    {0xD1, "USB device unlock error"},
    {0xE0, "STI unknown error"},
    {0xE1, "STI internal error"},
    {0xE2, "STI device create error"},
    {0xE3, "STI device release error"},
    {0xE4, "STI device not launched"},
    {0xF0, "Enum not applicable"},
    {0xF1, "Invalid function call"},
    {0xF2, "Handle not found"},
    {0xF3, "Invalid ID"},
    {0xF4, "Wait timeout error"},
};

constexpr CodeText PRTable[] = {
    {0x0001, "Unimplemented"},
    {0x0002, "Internal error"},
    {0x0003, "Memory allocation failed"},
    {0x0004, "Memory free failed"},
    {0x0005, "Operation cancelled"},
    {0x0006, "Incompatible version"},
    {0x0007, "Not supported"},
    {0x0008, "Unexpected exception"},
    {0x0009, "Protection violation"},
    {0x000A, "Mission subcomponent"},
    {0x000B, "Selection unavailable"},
    {0x0021, "Invalid parameter"},
    {0x0022, "Invalid handle"},
    {0x0061, "Invalid function call"},
    {0x0062, "Wait timeout error"},
    {0x0063, "Insufficient buffer"},
    {0x0064, "Event callback exists"},
    // The USB library's own: the camera lists no InitiateReleaseControl.
    {0x0070, "remote capture not available on this camera"},
    // PTP response codes; 0x2001 is PTP's "OK" and has no text here.
    {0x2000, "Undefined"},
    {0x2002, "General error"},
    {0x2003, "Session not ppen"},
    {0x2004, "Invalid transaction ID"},
    {0x2005, "Operation not supported"},
    {0x2006, "Parameter not supported"},
    {0x2007, "Incomplete transfer"},
    {0x2008, "Invalid storage ID"},
    {0x2009, "Invalid object handle"},
    {0x200A, "Device property not supported"},
    {0x200B, "Invalid object format code"},
    {0x200C, "Store full"},
    {0x200D, "Object write protected"},
    {0x200E, "Store read only"},
    {0x200F, "Access denied"},
    {0x2010, "No thumbnail present"},
    {0x2011, "Self test failed"},
    {0x2012, "Partial deletion"},
    {0x2013, "Store not available"},
    {0x2014, "Specification by format unsupported"},
    {0x2015, "No valid object info"},
    {0x2016, "Invalid code format"},
    {0x2017, "Unknown vendor code"},
    {0x2018, "Capture already terminated"},
    {0x2019, "Device busy"},
    {0x201A, "Invalid parent object"},
    {0x201B, "Invalid device property format"},
    {0x201C, "Invalid device property value"},
    {0x201D, "Invalid parameter"},
    {0x201E, "Session already open"},
    {0x201F, "Transaction cancelled"},
    {0x2020, "Specification of destination unsupported"},
    {0xA000, "Extension undefined"},
    {0xA001, "Extension unknown command received"},
    {0xA002, "Extension memoey allocation failed"},
    {0xA003, "Extension internal error"},
    {0xA004, "Extension dir IO error"},
    {0xA005, "Extension refused by other process"},
    {0xA006, "Extension cover closed"},
    {0xA007, "Extension no release"},
    {0xA008, "Extension device is hot"},
    {0xA009, "Extension low battery"},
    {0xA00A, "Extension already exit"},
};

static_assert(std::size(CDTable) == 85);
static_assert(std::size(PRTable) == 61);

constexpr bool IsSorted(const CodeText* first, const CodeText* last) {
  for (auto p = first; p + 1 < last; ++p)
    if (p->Code >= (p + 1)->Code) return false;
  return true;
}
static_assert(IsSorted(std::begin(CDTable), std::end(CDTable)));
static_assert(IsSorted(std::begin(PRTable), std::end(PRTable)));

template <size_t N>
std::string_view Lookup(const CodeText (&table)[N], uint32_t code) {
  const uint16_t key = static_cast<uint16_t>(code & 0xFFFF);
  auto it = std::lower_bound(std::begin(table), std::end(table), key,
                             [](const CodeText& entry, uint16_t k) { return entry.Code < k; });
  return it != std::end(table) && it->Code == key ? std::string_view(it->Text) : UnknownText;
}

}  // namespace

std::string_view CDErrorText(uint32_t code) { return Lookup(CDTable, code); }
std::string_view PRErrorText(uint32_t code) { return Lookup(PRTable, code); }

void CheckResult(std::string_view functionName, uint32_t status, ErrorTextFunction text) {
  if (status == 0) return;
  std::string message(functionName);
  message += " errorcode 0x";
  message += IntToHex(status, 8);
  message += ", ";
  message += text(status & 0xFFFF);
  throw ECamException(message, status);
}

}  // namespace korv
