#include "usbcam/PTPTrace.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "runtime/ByteReader.h"
#include "usbcam/PTPContainer.h"

namespace korv::usbcam {

namespace {

// In the order of TransferStatus.
constexpr const char* StatusWords[] = {"ok", "timeout", "gone", "stalled", "failed"};
constexpr const char* KindWords[] = {"send", "recv", "reset", "clear", "cancel", "status"};
constexpr size_t MaxTraceBytes = 256u << 20;  // one entry, as the largest container

std::string Hex(uint32_t value) {
  std::ostringstream text;
  text << "0x" << std::hex << std::uppercase << value;
  return text.str();
}

bool ReadStatus(std::istream& in, TransferStatus& status) {
  std::string word;
  in >> word;
  for (size_t i = 0; i < std::size(StatusWords); ++i)
    if (word == StatusWords[i]) {
      status = static_cast<TransferStatus>(i);
      return true;
    }
  return false;
}

// Hex digits, or "-" for none.
bool ReadBytes(std::istream& in, std::vector<uint8_t>& bytes) {
  std::string hex;
  if (!(in >> hex)) return false;
  if (hex == "-") return true;
  if (hex.size() % 2 != 0 || hex.size() / 2 > MaxTraceBytes) return false;
  auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
  bytes.resize(hex.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const int high = digit(hex[2 * i]), low = digit(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return true;
}

bool ReadEntry(std::istream& in, TraceEntry& entry) {
  if (!(in >> entry.AtMs >> entry.WaitMs)) return false;
  std::string word;
  switch (entry.Kind) {
    case TraceKind::Reset: return ReadStatus(in, entry.Status);
    case TraceKind::ClearStall:
      if (!(in >> word) || (word != "in" && word != "out")) return false;
      entry.Value = word == "out";
      return ReadStatus(in, entry.Status);
    case TraceKind::Cancel: return in >> entry.Value && ReadStatus(in, entry.Status);
    case TraceKind::DeviceStatus: return static_cast<bool>(in >> std::hex >> entry.Value >> std::dec);
    default: break;
  }
  if (!(in >> entry.TimeoutMs)) return false;
  if (entry.Kind == TraceKind::Receive && !(in >> entry.Asked)) return false;
  if (!ReadStatus(in, entry.Status) || !(in >> entry.Length)) return false;
  if (!ReadBytes(in, entry.Bytes)) return false;
  // A send holds the whole container, however much of it was moved.
  return entry.Kind == TraceKind::Send ? entry.Length <= entry.Bytes.size()
                                       : entry.Length == entry.Bytes.size() && entry.Length <= entry.Asked;
}

}  // namespace

std::string FormatTraceEntry(const TraceEntry& entry) {
  std::ostringstream line;
  line << KindWords[static_cast<size_t>(entry.Kind)] << ' ' << entry.AtMs << ' ' << entry.WaitMs << ' ';
  const char* status = StatusWords[static_cast<size_t>(entry.Status)];
  switch (entry.Kind) {
    case TraceKind::Reset: return line.str() + status;
    case TraceKind::ClearStall: return line.str() + (entry.Value ? "out " : "in ") + status;
    case TraceKind::Cancel: return line.str() + std::to_string(entry.Value) + " " + status;
    case TraceKind::DeviceStatus: return line.str() + Hex(entry.Value);
    default: break;
  }
  line << entry.TimeoutMs << ' ';
  if (entry.Kind == TraceKind::Receive) line << entry.Asked << ' ';
  line << status << ' ' << entry.Length << ' ';
  if (entry.Bytes.empty()) return line.str() + "-";
  static constexpr char Digits[] = "0123456789abcdef";
  std::string hex(2 * entry.Bytes.size(), '0');
  for (size_t i = 0; i < entry.Bytes.size(); ++i) {
    hex[2 * i] = Digits[entry.Bytes[i] >> 4];
    hex[2 * i + 1] = Digits[entry.Bytes[i] & 15];
  }
  return line.str() + hex;
}

std::optional<Trace> ParseTrace(const std::string& text, uint32_t& badLine) {
  Trace trace;
  std::istringstream lines(text);
  std::string line;
  for (uint32_t number = 1; std::getline(lines, line); ++number) {
    std::istringstream in(line.substr(0, line.find('#')));
    std::string kind;
    if (!(in >> kind)) continue;
    bool ok = false;
    if (kind == "packet") {
      ok = in >> trace.PacketSize && trace.PacketSize > 0 && trace.PacketSize <= 4096;
    } else if (const auto known = std::ranges::find(KindWords, kind); known != std::end(KindWords)) {
      TraceEntry entry;
      entry.Kind = static_cast<TraceKind>(known - std::begin(KindWords));
      entry.Line = number;
      ok = ReadEntry(in, entry);
      if (ok) trace.Entries.push_back(std::move(entry));
    }
    std::string extra;
    if (!ok || in >> extra) {
      badLine = number;
      return std::nullopt;
    }
  }
  badLine = 0;
  return trace;
}

std::optional<Trace> LoadTrace(const std::string& path, std::string& error) {
  constexpr std::streamoff MaxTraceFile = std::streamoff{1} << 30;
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  const std::streamoff size = file ? static_cast<std::streamoff>(file.tellg()) : -1;
  if (size < 0 || size > MaxTraceFile) {
    error = "trace " + path + (size < 0 ? " can't be read" : " is larger than 1 GiB");
    return std::nullopt;
  }
  std::string text(static_cast<size_t>(size), '\0');
  file.seekg(0);
  file.read(text.data(), size);
  uint32_t badLine = 0;
  auto trace = file ? ParseTrace(text, badLine) : std::nullopt;
  if (!trace) error = "trace " + path + (file ? " has a bad line " + std::to_string(badLine) : " can't be read");
  return trace;
}

std::string DescribeContainer(std::span<const uint8_t> container) {
  const auto header = ParseHeader(container);
  if (!header) return "not a container";
  static constexpr const char* Types[] = {"?", "cmd", "data", "resp", "event"};
  std::string text = std::string(header->Type < std::size(Types) ? Types[header->Type] : "?") + " " +
                     Hex(header->Code) + " tid " + std::to_string(header->Transaction) + " len " +
                     std::to_string(header->Length);
  const auto parameters = ParseParameters(container);
  if (header->Type != static_cast<uint16_t>(PTPType::Data) && !parameters.empty()) {
    text += " p";
    for (uint32_t p : parameters) text += " " + Hex(p);
  }
  return text;
}

std::string DescribeQuestion(TraceKind kind, std::span<const uint8_t> container, uint32_t value) {
  switch (kind) {
    case TraceKind::Reset: return "Device Reset";
    case TraceKind::ClearStall: return value ? "clear bulk-out stall" : "clear bulk-in stall";
    case TraceKind::Cancel: return "Cancel tid " + std::to_string(value);
    case TraceKind::DeviceStatus: return "Get Device Status";
    default: return DescribeContainer(container);
  }
}

}  // namespace korv::usbcam
