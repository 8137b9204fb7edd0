#include "tests/usbcam/support/ScriptedDevice.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "camera/sdkapi/PTPDataset.h"
#include "camera/sdkapi/SDKTypes.h"
#include "runtime/ByteReader.h"
#include "usbcam/PTPContainer.h"
#include "tests/usbcam/support/TraceReplay.h"

namespace korv::usbcam {

namespace {

// Responses of the scripted camera besides those the library names.
constexpr uint16_t ResponseGeneralError = 0x2002;
constexpr uint16_t ResponseSessionNotOpen = 0x2003;
constexpr uint16_t ResponseInvalidTransaction = 0x2004;
constexpr uint16_t ResponseOperationNotSupported = 0x2005;
constexpr uint16_t ResponseInvalidObjectHandle = 0x2009;
constexpr uint16_t ResponsePropertyNotSupported = 0x200A;
constexpr uint16_t ResponseInvalidPropertyFormat = 0x201B;
// A handler's answer when the camera answers nothing (it went).
constexpr uint16_t Unanswered = 0;

std::string Hex(uint32_t value) {
  std::ostringstream text;
  text << "0x" << std::hex << std::uppercase << value;
  return text.str();
}

// A PowerShot G9 as the library meets it: the settings properties it lists,
// zoom, transfer mode, owner, battery, event emulation and output sizes in
// the types and with the values its owners reported.
std::map<uint16_t, ScriptedProperty> DefaultProperties() {
  std::map<uint16_t, ScriptedProperty> p;
  auto list = [&](uint16_t code, size_t width, uint32_t value, std::vector<uint32_t> values) {
    p[code] = {width, value, std::move(values), false, 0};
  };
  list(PRPropQuality, 1, 3, {1, 2, 3, 5});
  list(PRPropFileFormat, 1, 1, {1, 2});
  list(PRPropImageSize, 1, 0, {0, 1, 2, 3, 7});
  list(PRPropFlashMode, 1, 0, {0, 1, 2});
  list(PRPropShootingMode, 1, 0, {0, 1, 2, 3});
  list(PRPropMeteringMode, 1, 0, {0, 1, 3});
  list(PRPropAFDistance, 1, 0, {0, 1, 2});
  list(PRPropWhiteBalance, 1, 0, {0, 1, 2, 3});
  list(PRPropISO, 2, 0, {0, 0x48, 0x50, 0x58});
  list(PRPropAv, 2, 0x20, {0x20, 0x23, 0x25, 0x28});
  list(PRPropTv, 2, 0x60, {0x18, 0x20, 0x60, 0x68});
  list(PRPropExposureCompensation, 1, 0, {0xF8, 0, 8});
  list(PRPropFlashCompensation, 1, 0, {0xF8, 0, 8});
  list(PRPropCaptureTransferMode, 2, 15, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
  list(PRPropOpticalZoomEnd, 2, PRNoOpticalZoomEnd, {});
  list(PRPropBatteryKind, 2, 1, {});
  list(PRPropBatteryLevel, 4, 3, {});
  list(PTPPropEventEmulationMode, 2, 4, {1, 2, 3, 4, 5, 6, 7});
  list(PTPPropOutputSize, 4, 524288, {});
  list(0xD02F, 4, 262144, {});  // size of input data
  p[PRPropZoomPosition] = {2, 0, {}, true, 19};
  return p;
}

}  // namespace

DeviceLists G9Lists() {
  return {{0x1014, 0x1015, 0x1016, 0x1017, 0x1001, 0x1002, 0x1003, 0x9013, 0x901F, 0x1004, 0x1005, 0x1006,
           0x1007, 0x1008, 0x1009, 0x100A, 0x101B, 0x100C, 0x100D, 0x100B, 0x100F, 0x1012, 0x9001, 0x9021,
           0x901B, 0x901E, 0x9019, 0x9006, 0x901C, 0x9002, 0x904C, 0x902C, 0x902D, 0x902E, 0x9024, 0x9025,
           0x9038, 0x9039, 0x903A, 0x903B, 0x904B, 0x900E, 0x900F, 0x9010, 0x9011, 0x9028, 0x9023, 0x9029,
           0x902A, 0x902B, 0x9034, 0x100E, 0x9008, 0x901A, 0x9009, 0x900B, 0x901D, 0x900D, 0x900C, 0x9014,
           0x9015, 0x9018, 0x9012, 0x9801, 0x9802, 0x9803, 0x9804, 0x9805, 0x903F, 0x9040, 0x9041, 0x904D,
           0x9044, 0x9045, 0x904E, 0x904F, 0x9054, 0x9055, 0x9056, 0x9020},
          {0x4001, 0x4002, 0x4003, 0x4004, 0x4005, 0x4006, 0x4007, 0x4008, 0x4009, 0x400A, 0x400B, 0x400C,
           0x400D, 0x400E, 0xC001, 0xC005, 0xC008, 0xC009, 0xC00A, 0xC00B, 0xC00C, 0xC00D, 0xC00E, 0xC00F,
           0xC011, 0xC013, 0xC019, 0xC01A},
          {0xD045, 0xD04A, 0xD02E, 0xD02F, 0xD002, 0xD003, 0xD034, 0xD047, 0xD046, 0xD02D, 0xD048, 0xD02C,
           0xD030, 0xD049, 0xD032, 0xD033, 0xD031, 0xD050, 0xD402, 0xD406, 0xD407, 0xD029, 0xD00A, 0xD042,
           0xD020, 0xD006, 0xD007, 0xD008, 0xD00E, 0xD010, 0xD011, 0xD012, 0xD013, 0xD01C, 0xD01F, 0xD041,
           0xD044, 0xD00C, 0xD01D, 0xD01E, 0xD02A, 0xD036, 0xD037, 0xD038, 0xD039, 0xD03B, 0xD03C, 0xD03D,
           0xD043},
          "1-4.2.1.0"};
}

namespace {

bool ReadNumber(std::istream& in, uint32_t& value) {
  std::string word;
  if (!(in >> word)) return false;
  try {
    size_t used = 0;
    const unsigned long number = std::stoul(word, &used, 0);
    if (used != word.size() || number > 0xFFFFFFFFul) return false;
    value = static_cast<uint32_t>(number);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// The words of one statement after its keyword.
struct Words {
  explicit Words(std::istream& in) : In(in) {}
  bool Number(uint32_t& value) { return ReadNumber(In, value); }
  bool Code(uint16_t& code) {
    uint32_t value = 0;
    if (!Number(value) || value > 0xFFFF) return false;
    code = static_cast<uint16_t>(value);
    return true;
  }
  bool Word(std::string& word) { return static_cast<bool>(In >> word); }
  // An optional count, 1 when left out.
  uint32_t Count() {
    uint32_t count = 1;
    return Number(count) ? count : 1;
  }
  std::string Rest() {
    std::string text;
    std::getline(In >> std::ws, text);
    while (!text.empty() && isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    return text;
  }
  std::istream& In;
};

using Statement = bool (*)(DeviceScript&, Words&);

// Fault statements: CODE [VALUE] [n].
template <FaultKind Kind, bool Valued>
bool AddFault(DeviceScript& script, Words& words) {
  ScriptedFault fault;
  fault.Kind = Kind;
  if (!words.Code(fault.Operation) || (Valued && !words.Number(fault.Value))) return false;
  fault.Count = words.Count();
  script.Faults.push_back(fault);
  return true;
}

bool Property(DeviceScript& script, Words& words) {
  uint16_t code = 0;
  if (!words.Code(code)) return false;
  std::streampos at = words.In.tellg();
  std::string word;
  if (words.Word(word) && word == "none") {
    script.Properties.erase(code);
    return true;
  }
  words.In.clear();
  words.In.seekg(at);
  ScriptedProperty property;
  uint32_t width = 0, value = 0;
  if (!words.Number(width) || (width != 1 && width != 2 && width != 4) || !words.Number(property.Value)) return false;
  property.Width = width;
  while (words.Number(value)) property.Values.push_back(value);
  script.Properties[code] = property;
  auto& listed = script.Lists.Properties;
  if (std::find(listed.begin(), listed.end(), code) == listed.end()) listed.push_back(code);
  return true;
}

// The codes after the keyword.
bool Codes(Words& words, std::vector<uint16_t>& codes) {
  codes.clear();
  for (uint16_t code = 0; words.Code(code);) codes.push_back(code);
  return !codes.empty();
}

// devicereport FILE: another model's DeviceInfo lists, a line each
// ("operations CODE...", "events CODE...", "properties CODE...",
// "version TEXT", "model TEXT"; "#" starts a comment).
bool DeviceReport(DeviceScript& script, Words& words) {
  std::ifstream file(words.Rest());
  if (!file) return false;
  DeviceLists lists;
  std::string model = script.Model;
  for (std::string line; std::getline(file, line);) {
    std::istringstream in(line.substr(0, line.find('#')));
    std::string key;
    Words rest(in);
    if (!(in >> key)) continue;
    const bool read = key == "operations"   ? Codes(rest, lists.Operations)
                      : key == "events"     ? Codes(rest, lists.Events)
                      : key == "properties" ? Codes(rest, lists.Properties)
                      : key == "version"    ? (lists.Version = rest.Rest(), true)
                      : key == "model"      ? (model = rest.Rest(), true)
                                            : false;
    if (!read) return false;
  }
  script.Lists = lists;
  script.Model = model;
  return true;
}

// without CODE...: operations the camera does not have.
bool Without(DeviceScript& script, Words& words) {
  std::vector<uint16_t> codes;
  if (!Codes(words, codes)) return false;
  auto& listed = script.Lists.Operations;
  for (uint16_t code : codes) listed.erase(std::remove(listed.begin(), listed.end(), code), listed.end());
  return true;
}

// unplug after N for S
bool Unplug(DeviceScript& script, Words& words) {
  std::string after, forWord, seconds;
  if (!words.Word(after) || after != "after" || !words.Number(script.UnplugAfter) || script.UnplugAfter == 0 ||
      !words.Word(forWord) || forWord != "for" || !words.Word(seconds))
    return false;
  char* end = nullptr;
  script.UnplugSeconds = std::strtod(seconds.c_str(), &end);
  return *end == '\0' && script.UnplugSeconds >= 0 && script.UnplugSeconds <= 86400;
}

// replay FILE: the camera of a trace (TraceReplay.h) instead of this one.
bool ReplayTrace(DeviceScript& script, Words& words) {
  std::string error;
  auto trace = LoadTrace(words.Rest(), error);
  if (!trace) {
    std::cerr << error << std::endl;
    return false;
  }
  script.PacketSize = trace->PacketSize;
  script.Replay = std::make_shared<const Trace>(std::move(*trace));
  return true;
}

// Every statement a script may use (usbcam/README.md).
const std::pair<std::string_view, Statement> Statements[] = {
    {"model", [](DeviceScript& s, Words& w) { return s.Model = w.Rest(), true; }},
    {"owner", [](DeviceScript& s, Words& w) { s.Owner = w.Rest(), s.OwnerIs = OwnerForm::Terminated; return true; }},
    {"owner-ptpstring", [](DeviceScript& s, Words& w) { s.Owner = w.Rest(), s.OwnerIs = OwnerForm::PTPString; return true; }},
    {"owner-empty", [](DeviceScript& s, Words&) { s.Owner.clear(), s.OwnerIs = OwnerForm::Empty; return true; }},
    {"flood",
     [](DeviceScript& s, Words& w) {
       uint16_t code = 0;
       if (!w.Code(code)) return false;
       s.Flood = code;
       return true;
     }},
    {"devicereport", DeviceReport},
    {"without", Without},
    {"packet",
     [](DeviceScript& s, Words& w) {
       uint32_t size = 0;
       if (!w.Number(size) || size == 0 || size > 4096) return false;
       s.PacketSize = size;
       return true;
     }},
    {"nozlp", [](DeviceScript& s, Words&) { return !(s.ZeroLengthPackets = false); }},
    {"silent", [](DeviceScript& s, Words&) { return s.Silent = true; }},
    {"modeevent", [](DeviceScript& s, Words&) { return s.ModeEvent = true; }},
    {"onlyfull", [](DeviceScript& s, Words&) { return s.OnlyFull = true; }},
    {"eventdelay", [](DeviceScript& s, Words& w) { return w.Number(s.EventDelay); }},
    {"gap", [](DeviceScript& s, Words& w) { return w.Number(s.GapMs); }},
    {"infosize",
     [](DeviceScript& s, Words& w) {
       uint32_t size = 0;
       if (!w.Number(size)) return false;
       s.InfoSize = size;
       return true;
     }},
    {"stale",
     [](DeviceScript& s, Words& w) {
       uint16_t code = 0;
       if (!w.Code(code)) return false;
       s.StaleEvents.insert(s.StaleEvents.end(), std::min<uint32_t>(w.Count(), 1000), code);
       return true;
     }},
    {"pictures",
     [](DeviceScript& s, Words& w) {
       s.PictureSizes.clear();
       for (uint32_t size = 0; w.Number(size);) s.PictureSizes.push_back(size);
       return !s.PictureSizes.empty();
     }},
    {"picturefile", [](DeviceScript& s, Words& w) { return s.PictureFile = w.Rest(), true; }},
    {"property", Property},
    {"unplug", Unplug},
    {"replay", ReplayTrace},
    {"respond", AddFault<FaultKind::Respond, true>},
    {"latency", AddFault<FaultKind::Latency, true>},
    {"gone", AddFault<FaultKind::Gone, true>},
    {"shortdata", AddFault<FaultKind::ShortData, false>},
    {"wrongtid", AddFault<FaultKind::WrongTransaction, false>},
    {"noresponse", AddFault<FaultKind::NoResponse, false>},
    {"stall", AddFault<FaultKind::Stall, false>},
};

// One statement; false when it can't be read.
bool ApplyLine(DeviceScript& script, const std::string& line) {
  std::istringstream in(line.substr(0, line.find('#')));
  std::string keyword;
  if (!(in >> keyword)) return true;
  Words words(in);
  for (const auto& [name, apply] : Statements)
    if (name == keyword) return apply(script, words);
  return false;
}
}  // namespace

std::optional<DeviceScript> ParseDeviceScript(const std::string& text, uint32_t& badLine) {
  DeviceScript script;
  script.Properties = DefaultProperties();
  std::istringstream in(text);
  std::string line;
  for (uint32_t number = 1; std::getline(in, line); ++number) {
    if (!ApplyLine(script, line)) {
      badLine = number;
      return std::nullopt;
    }
  }
  badLine = 0;
  return script;
}

std::vector<uint8_t> PatternPicture(uint32_t size, uint32_t index) {
  std::vector<uint8_t> bytes(size);
  for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i + index) % 251);
  return bytes;
}

ScriptedDevice::ScriptedDevice(DeviceScript script) : Script(std::move(script)) {
  if (Script.Replay)
    Replay = std::make_unique<TraceReplay>(Script.Replay, [this](std::string line) {
      std::cerr << "PRSDK.DLL: " << line << std::endl;
      Note(std::move(line));
    });
}

ScriptedDevice::~ScriptedDevice() = default;

uint64_t ScriptedDevice::NowMs() { return Replay ? Replay->NowMs() : Clock; }

void ScriptedDevice::SleepMs(int ms) {
  if (Replay) return Replay->SleepMs(ms);
  Clock += static_cast<uint64_t>(std::max(ms, 0));
}

// A station may play the device for hours: past the cap the older half of
// the transcript goes.
void ScriptedDevice::Note(std::string line) {
  constexpr size_t TranscriptCap = 100000;
  if (Lines.size() >= TranscriptCap) Lines.erase(Lines.begin(), Lines.begin() + TranscriptCap / 2);
  Lines.push_back(std::move(line));
}

ScriptedFault* ScriptedDevice::DueFault(uint16_t operation, FaultKind kind) {
  for (auto& fault : Script.Faults)
    if (fault.Kind == kind && fault.Operation == operation && fault.Count > 0) {
      --fault.Count;
      return &fault;
    }
  return nullptr;
}

Transfer ScriptedDevice::Send(std::span<const uint8_t> container, int timeoutMs) {
  if (Replay) return Replay->Send(container, timeoutMs);
  if (Unplugged) return {TransferStatus::Gone, 0};
  const auto header = ParseHeader(container);
  if (!header || header->Length != container.size()) return {TransferStatus::Failed, 0};
  const auto parameters = ParseParameters(container);
  if (header->Type == static_cast<uint16_t>(PTPType::Command)) {
    std::string line = "cmd " + Hex(header->Code) + " tid " + std::to_string(header->Transaction);
    if (!parameters.empty()) line += " p";
    for (uint32_t p : parameters) line += " " + Hex(p);
    Note(line);
    const ScriptedFault* late = DueFault(header->Code, FaultKind::Latency);
    Delay = late ? late->Value : 0;
    Command(header->Code, header->Transaction, parameters);
  } else if (header->Type == static_cast<uint16_t>(PTPType::Data)) {
    Note("dataout " + Hex(header->Code) + " tid " + std::to_string(header->Transaction) + " len " +
         std::to_string(header->Length));
    if (!AwaitingData || AwaitingData->Transaction != header->Transaction) return {TransferStatus::Failed, 0};
    const Pending pending = *AwaitingData;
    AwaitingData.reset();
    const std::vector<uint8_t> dataOut(container.begin() + PTPHeaderSize, container.end());
    Execute({pending.Code, pending.Transaction, pending.Parameters, dataOut});
  } else {
    return {TransferStatus::Failed, 0};
  }
  (void)timeoutMs;
  return {TransferStatus::Ok, container.size()};
}

void ScriptedDevice::Command(uint16_t code, uint32_t transaction, const std::vector<uint32_t>& parameters) {
  if (DueFault(code, FaultKind::NoResponse)) return;
  if (DueFault(code, FaultKind::Stall)) Push({Packet::Kind::Stall, {}, 0});
  // Transaction ids rise by one within a session; OpenSession starts at 0.
  const bool inOrder = code == PTPOpOpenSession ? transaction == 0 : transaction == LastTransaction + 1;
  LastTransaction = transaction;
  if (!inOrder) return Respond(ResponseInvalidTransaction, transaction);
  if (const ScriptedFault* fault = DueFault(code, FaultKind::Respond)) {
    // A camera still in release control from an earlier session says so.
    if (code == PTPOpInitiateReleaseControl && fault->Value == PTPResponseAlreadyInReleaseControl && SessionOpen)
      EnterReleaseControl();
    return Respond(static_cast<uint16_t>(fault->Value), transaction);
  }
  if (code == PTPOpSetDevicePropValue) {
    AwaitingData = Pending{code, transaction, parameters};
    return;
  }
  Execute({code, transaction, parameters, {}});
}

void ScriptedDevice::Respond(uint16_t code, uint32_t transaction) {
  Note("resp " + Hex(code) + " tid " + std::to_string(transaction));
  Queue(BuildContainer(PTPType::Response, code, transaction, {}), nullptr);
}

// Packets leave in order: none before the one ahead of it.
void ScriptedDevice::Push(Packet packet) {
  packet.ReadyAt = std::max(packet.ReadyAt, Clock + Delay);
  if (!Packets.empty()) packet.ReadyAt = std::max(packet.ReadyAt, Packets.back().ReadyAt);
  Packets.push_back(std::move(packet));
}

// Splits a container into packets; a gone fault cuts it and unplugs the
// camera there, a short-data fault sends only the first half of the
// payload; a data phase of several packets pauses in its middle by the gap.
void ScriptedDevice::Queue(std::vector<uint8_t> container, const ScriptedFault* fault) {
  const size_t packet = Script.PacketSize;
  size_t length = container.size();
  if (fault && fault->Kind == FaultKind::ShortData) length = PTPHeaderSize + (length - PTPHeaderSize) / 2;
  if (fault && fault->Kind == FaultKind::Gone) length = std::min<size_t>(length, fault->Value / packet * packet);
  const bool data = ParseHeader(container)->Type == static_cast<uint16_t>(PTPType::Data);
  const size_t middle = (length / packet + 1) / 2 * packet;
  for (size_t at = 0; at < length; at += packet) {
    const uint64_t gap = data && at == middle && at > 0 ? Script.GapMs : 0;
    Push({Packet::Kind::Bytes,
          std::vector<uint8_t>(container.begin() + static_cast<ptrdiff_t>(at),
                               container.begin() + static_cast<ptrdiff_t>(std::min(length, at + packet))),
          (Packets.empty() ? Clock : Packets.back().ReadyAt) + gap});
  }
  const bool cut = length < container.size();
  if (fault && fault->Kind == FaultKind::Gone) return Push({Packet::Kind::Gone, {}, 0});
  if (length % packet == 0 && Script.ZeroLengthPackets && !cut) Push({});
  if (cut && length % packet == 0) Push({});  // ends the short transfer
}

// Every operation the camera answers, with its handler.
const ScriptedDevice::Operation ScriptedDevice::Operations[] = {
    {PTPOpGetDeviceInfo, &ScriptedDevice::GetDeviceInfo},
    {PTPOpOpenSession, &ScriptedDevice::OpenSession},
    {PTPOpCloseSession, &ScriptedDevice::CloseSession},
    {PTPOpGetObjectInfo, &ScriptedDevice::GetObjectInfo},
    {PTPOpGetObject, &ScriptedDevice::GetObject},
    {PTPOpGetDevicePropDesc, &ScriptedDevice::GetPropDesc},
    {PTPOpGetDevicePropValue, &ScriptedDevice::GetPropValue},
    {PTPOpSetDevicePropValue, &ScriptedDevice::SetPropValue},
    {PTPOpInitiateReleaseControl, &ScriptedDevice::InitiateReleaseControl},
    {PTPOpTerminateReleaseControl, &ScriptedDevice::TerminateReleaseControl},
    {PTPOpCheckEvent, &ScriptedDevice::CheckEvent},
    {PTPOpInitiateCaptureInMemory, &ScriptedDevice::InitiateCapture},
    {PTPOpGetPartialObject, &ScriptedDevice::GetPartialObject},
    {PTPOpGetStorageIDs, &ScriptedDevice::GetStorageIDs},
};

void ScriptedDevice::Execute(const Call& call) {
  const auto found = std::find_if(std::begin(Operations), std::end(Operations),
                                  [&](const Operation& operation) { return operation.Code == call.Code; });
  const auto& listed = Script.Lists.Operations;
  const bool has = std::find(listed.begin(), listed.end(), call.Code) != listed.end();
  uint16_t response = ResponseOperationNotSupported;
  if (has && !SessionOpen && call.Code != PTPOpOpenSession && call.Code != PTPOpGetDeviceInfo)
    response = ResponseSessionNotOpen;
  else if (has && found != std::end(Operations))
    response = (this->*found->Handler)(call);
  // Nothing more when the camera went, or goes with the data.
  if (response == Unanswered || Unplugged || (!Packets.empty() && Packets.back().Is == Packet::Kind::Gone)) return;
  const bool wrong = DueFault(call.Code, FaultKind::WrongTransaction) != nullptr;
  Respond(response, wrong ? call.Transaction + 1 : call.Transaction);
}

void ScriptedDevice::SendData(const Call& call, const std::vector<uint8_t>& payload) {
  const ScriptedFault* fault = DueFault(call.Code, FaultKind::ShortData);
  if (!fault) fault = DueFault(call.Code, FaultKind::Gone);
  Note("data " + Hex(call.Code) + " tid " + std::to_string(call.Transaction) + " len " +
       std::to_string(payload.size() + PTPHeaderSize));
  Queue(BuildDataContainer(call.Code, call.Transaction, payload), fault);
}

ScriptedProperty* ScriptedDevice::PropertyOf(const Call& call) {
  const auto& listed = Script.Lists.Properties;
  if (std::find(listed.begin(), listed.end(), call.First()) == listed.end()) return nullptr;
  const auto found = Script.Properties.find(static_cast<uint16_t>(call.First()));
  return found == Script.Properties.end() || call.First() > 0xFFFF ? nullptr : &found->second;
}

uint16_t ScriptedDevice::GetDeviceInfo(const Call& call) {
  SendData(call, DeviceInfo());
  return PTPResponseOK;
}

uint16_t ScriptedDevice::OpenSession(const Call&) {
  if (SessionOpen) return PTPResponseSessionAlreadyOpen;
  SessionOpen = true;
  return PTPResponseOK;
}

uint16_t ScriptedDevice::CloseSession(const Call&) {
  SessionOpen = InReleaseControl = false;
  return PTPResponseOK;
}

uint16_t ScriptedDevice::GetPropDesc(const Call& call) {
  const ScriptedProperty* property = PropertyOf(call);
  if (property == nullptr) return ResponsePropertyNotSupported;
  SendData(call, PropDesc(static_cast<uint16_t>(call.First()), *property));
  return PTPResponseOK;
}

uint16_t ScriptedDevice::GetPropValue(const Call& call) {
  if (call.First() == PRPropOwnerName) {
    SendData(call, OwnerValue());
    return PTPResponseOK;
  }
  const ScriptedProperty* property = PropertyOf(call);
  if (property == nullptr) return ResponsePropertyNotSupported;
  std::vector<uint8_t> value;
  AppendLittleEndian(value, property->Value, property->Width);
  SendData(call, value);
  return PTPResponseOK;
}

uint16_t ScriptedDevice::SetPropValue(const Call& call) {
  ScriptedProperty* property = PropertyOf(call);
  if (property == nullptr) return ResponsePropertyNotSupported;
  if (call.DataOut.size() != property->Width) return ResponseInvalidPropertyFormat;
  property->Value = static_cast<uint32_t>(ByteReader(call.DataOut).Unsigned(call.DataOut.size()));
  return PTPResponseOK;
}

uint16_t ScriptedDevice::InitiateReleaseControl(const Call&) {
  EnterReleaseControl();
  return PTPResponseOK;
}

uint16_t ScriptedDevice::TerminateReleaseControl(const Call&) {
  InReleaseControl = false;
  return PTPResponseOK;
}

uint16_t ScriptedDevice::InitiateCapture(const Call&) {
  // Unplugged once its Nth picture was taken, before the next.
  if (Captures == Script.UnplugAfter && Captures > 0) {
    Push({Packet::Kind::Gone, {}, 0});
    return Unanswered;
  }
  if (!InReleaseControl) return ResponseGeneralError;
  ++Captures;
  Capture();
  return PTPResponseOK;
}

uint16_t ScriptedDevice::CheckEvent(const Call& call) {
  std::vector<uint8_t> payload;
  // As cameras send them: three parameters, no transaction.
  auto event = [&](uint16_t code, uint32_t object) {
    const uint32_t parameters[] = {object, 0, 0};
    payload = BuildContainer(PTPType::Event, code, 0xFFFFFFFF, parameters);
  };
  if (!Events.empty() && !Script.Silent) {
    Event& front = Events.front();
    if (front.Polls > 0) {
      --front.Polls;
    } else {
      event(front.Code, front.Object);
      Events.pop_front();
    }
  }
  if (payload.empty() && Script.Flood && InReleaseControl) event(*Script.Flood, 0);
  SendData(call, payload);
  return PTPResponseOK;
}

uint16_t ScriptedDevice::GetObjectInfo(const Call& call) {
  const auto found = Objects.find(call.First());
  if (found == Objects.end()) return ResponseInvalidObjectHandle;
  SendData(call, ObjectInfo(found->second));
  return PTPResponseOK;
}

uint16_t ScriptedDevice::GetObject(const Call& call) {
  const auto found = Objects.find(call.First());
  if (found == Objects.end()) return ResponseInvalidObjectHandle;
  SendData(call, found->second);
  Objects.erase(found);
  return PTPResponseOK;
}

// A piece of a picture; the picture goes once its last byte was read.
uint16_t ScriptedDevice::GetPartialObject(const Call& call) {
  const auto found = Objects.find(call.First());
  if (found == Objects.end() || call.Parameters.size() < 3) return ResponseInvalidObjectHandle;
  const std::vector<uint8_t>& bytes = found->second;
  const size_t offset = std::min<size_t>(call.Parameters[1], bytes.size());
  const size_t end = std::min<size_t>(offset + call.Parameters[2], bytes.size());
  SendData(call, std::vector<uint8_t>(bytes.begin() + static_cast<ptrdiff_t>(offset),
                                      bytes.begin() + static_cast<ptrdiff_t>(end)));
  if (end == bytes.size()) Objects.erase(found);
  return PTPResponseOK;
}

// The card, and in release control the camera's memory ("Builtin RAM").
uint16_t ScriptedDevice::GetStorageIDs(const Call& call) {
  std::vector<uint8_t> ids;
  AppendLittleEndian(ids, InReleaseControl ? 2 : 1, 4);
  AppendLittleEndian(ids, 0x00010001, 4);
  if (InReleaseControl) AppendLittleEndian(ids, 0x80000001, 4);
  SendData(call, ids);
  return PTPResponseOK;
}

// The owner as cameras send it: an array of 8-bit characters with the
// terminating zero counted, or an empty array; or, for a script that asks,
// a PTP string (count of 16-bit characters with the zero, then them).
std::vector<uint8_t> ScriptedDevice::OwnerValue() const {
  std::vector<uint8_t> text;
  if (Script.OwnerIs == OwnerForm::PTPString) {
    text.push_back(static_cast<uint8_t>(Script.Owner.size() + 1));
    for (char c : Script.Owner) AppendLittleEndian(text, static_cast<uint8_t>(c), 2);
    AppendLittleEndian(text, 0, 2);
  } else if (Script.OwnerIs == OwnerForm::Empty) {
    AppendLittleEndian(text, 0, 4);
  } else {
    AppendLittleEndian(text, Script.Owner.size() + 1, 4);
    text.insert(text.end(), Script.Owner.begin(), Script.Owner.end());
    text.push_back(0);
  }
  return text;
}

// The mode change, and what an earlier release left.
void ScriptedDevice::EnterReleaseControl() {
  InReleaseControl = true;
  if (Script.ModeEvent) Events.push_back({PREventUIChanged, 0, 0});
  for (uint16_t stale : Script.StaleEvents) Events.push_back({stale, 0, 0});
  Script.StaleEvents.clear();
}

// One picture per part the transfer mode sends to the computer: a
// thumbnail (0xC009) and the picture (0xC008); only the picture for a
// camera that announces nothing else.
void ScriptedDevice::Capture() {
  const uint32_t mode = Script.OnlyFull ? 2 : Script.Properties[PRPropCaptureTransferMode].Value;
  bool first = true;
  for (const auto& [bit, code] : {std::pair{1u, PREventThumbnailAdded}, std::pair{2u, PREventObjectAdded}}) {
    if ((mode & bit) == 0) continue;
    std::vector<uint8_t> bytes;
    if (!Script.PictureFile.empty()) {
      std::ifstream file(Script.PictureFile, std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(file), {});
    } else {
      const auto& sizes = Script.PictureSizes;
      bytes = PatternPicture(sizes[std::min<size_t>(Taken, sizes.size() - 1)], Taken);
    }
    const uint32_t object = NextObject++;
    Objects[object] = std::move(bytes);
    Events.push_back({code, object, first ? Script.EventDelay : 0});
    first = false;
  }
  ++Taken;
}

// As PowerShots send it: vendor extension 6 with no description, the
// lists, no capture formats, the image formats, and the texts.
std::vector<uint8_t> ScriptedDevice::DeviceInfo() const {
  std::vector<uint8_t> bytes;
  auto text = [&](const std::string& value) {
    bytes.push_back(static_cast<uint8_t>(value.empty() ? 0 : value.size() + 1));
    for (char c : value) AppendLittleEndian(bytes, static_cast<uint8_t>(c), 2);
    if (!value.empty()) AppendLittleEndian(bytes, 0, 2);
  };
  auto codes = [&](const std::vector<uint16_t>& list) {
    AppendLittleEndian(bytes, list.size(), 4);
    for (uint16_t code : list) AppendLittleEndian(bytes, code, 2);
  };
  AppendLittleEndian(bytes, 100, 2);  // StandardVersion 1.00
  AppendLittleEndian(bytes, 6, 4);    // VendorExtensionID as PowerShots send it
  AppendLittleEndian(bytes, 100, 2);
  text("");
  AppendLittleEndian(bytes, 0, 2);  // FunctionalMode
  codes(Script.Lists.Operations);
  codes(Script.Lists.Events);
  codes(Script.Lists.Properties);
  codes({});
  codes({0x3801, 0x3000});  // EXIF/JPEG, undefined
  for (const std::string& value : {std::string("Canon Inc."), Script.Model, Script.Lists.Version, std::string("0")})
    text(value);
  return bytes;
}

std::vector<uint8_t> ScriptedDevice::PropDesc(uint16_t code, const ScriptedProperty& property) const {
  PTPPropDescProfile desc;
  desc.Code = code;
  desc.Width = property.Width;
  desc.DataType = property.Width == 1 ? PTPTypeUInt8 : property.Width == 2 ? PTPTypeUInt16 : PTPTypeUInt32;
  desc.FactoryDefault = desc.Current = property.Value;
  desc.Form = property.Range ? PTPFormRange : property.Values.empty() ? PTPFormNone : PTPFormEnumeration;
  desc.Values = property.Values;
  desc.Maximum = property.Maximum;
  return BuildPropDesc(desc);
}

// ObjectInfo of a JPEG in the camera's memory: storage, format, protection,
// size, then the thumbnail and image fields, parent, association,
// sequence, and four PTP strings (file name, dates, keywords).
std::vector<uint8_t> ScriptedDevice::ObjectInfo(const std::vector<uint8_t>& object) const {
  std::vector<uint8_t> info;
  AppendLittleEndian(info, 0x00010001, 4);
  AppendLittleEndian(info, 0x3801, 2);  // EXIF/JPEG
  AppendLittleEndian(info, 0, 2);
  AppendLittleEndian(info, Script.InfoSize.value_or(static_cast<uint32_t>(object.size())), 4);
  info.resize(info.size() + 2 + 4 * 7 + 2 + 4 + 4 + 2 + 4 + 4, 0);
  const std::string name = "IMG_0001.JPG";
  info.push_back(static_cast<uint8_t>(name.size() + 1));
  for (char c : name) AppendLittleEndian(info, static_cast<uint8_t>(c), 2);
  AppendLittleEndian(info, 0, 2);
  info.insert(info.end(), 3, 0);  // no dates, no keywords
  return info;
}

Transfer ScriptedDevice::Receive(std::span<uint8_t> buffer, int timeoutMs) {
  if (Replay) return Replay->Receive(buffer, timeoutMs);
  if (Unplugged) return {TransferStatus::Gone, 0};
  if (Halted) return {TransferStatus::Stalled, 0};
  const uint64_t until = Clock + static_cast<uint64_t>(std::max(timeoutMs, 0));
  size_t got = 0;
  auto read = [&](TransferStatus status) {
    Note(status == TransferStatus::Ok ? "read " + std::to_string(buffer.size()) + " " + std::to_string(got)
         : got > 0                    ? "timeout after " + std::to_string(got)
                                      : "timeout");
    return Transfer{status, got};
  };
  while (!Packets.empty()) {
    Packet& packet = Packets.front();
    if (packet.ReadyAt > until) break;
    Clock = std::max(Clock, packet.ReadyAt);
    if (packet.Is == Packet::Kind::Gone) {
      Unplugged = true;
      Note("gone");
      return {TransferStatus::Gone, got};
    }
    if (packet.Is == Packet::Kind::Stall) {
      if (got > 0) return read(TransferStatus::Ok);
      Packets.pop_front();
      Halted = true;
      Note("stall");
      return {TransferStatus::Stalled, 0};
    }
    if (packet.Bytes.size() > buffer.size() - got) {
      if (got > 0) break;
      return {TransferStatus::Failed, 0};  // the packet overflows the read
    }
    std::copy(packet.Bytes.begin(), packet.Bytes.end(), buffer.begin() + static_cast<ptrdiff_t>(got));
    got += packet.Bytes.size();
    const bool shortPacket = packet.Bytes.size() < Script.PacketSize;
    Packets.pop_front();
    if (shortPacket || got == buffer.size()) return read(TransferStatus::Ok);
  }
  // Nothing more for now: what came ends the transfer, unless more is on
  // its way (then the transfer times out after the packets it got).
  if (got > 0 && Packets.empty()) return read(TransferStatus::Ok);
  Clock = until;
  return read(TransferStatus::Timeout);
}

TransferStatus ScriptedDevice::Reset() {
  if (Replay) return Replay->Reset();
  if (Unplugged) return TransferStatus::Gone;
  Note("reset");
  Packets.clear();
  AwaitingData.reset();
  Halted = false;
  SessionOpen = InReleaseControl = false;
  return TransferStatus::Ok;
}

TransferStatus ScriptedDevice::ClearStall(Pipe pipe) {
  if (Replay) return Replay->ClearStall(pipe);
  if (Unplugged) return TransferStatus::Gone;
  Note(pipe == Pipe::BulkIn ? "clear in" : "clear out");
  if (pipe == Pipe::BulkIn) Halted = false;
  return TransferStatus::Ok;
}

// The camera drops what it had to send for the transaction and is busy
// for one status request.
TransferStatus ScriptedDevice::Cancel(uint32_t transaction) {
  if (Replay) return Replay->Cancel(transaction);
  if (Unplugged) return TransferStatus::Gone;
  Note("cancel tid " + std::to_string(transaction));
  Packets.clear();
  AwaitingData.reset();
  BusyStatuses = 1;
  return TransferStatus::Ok;
}

uint16_t ScriptedDevice::DeviceStatus() {
  if (Replay) return Replay->DeviceStatus();
  if (Unplugged) return 0;
  const uint16_t status = BusyStatuses > 0 ? PTPResponseDeviceBusy : PTPResponseOK;
  if (BusyStatuses > 0) --BusyStatuses;
  Note("status " + Hex(status));
  return status;
}

}  // namespace korv::usbcam
