#include "usbcam/ScriptedDevice.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "camera/sdkapi/PTPDataset.h"
#include "camera/sdkapi/SDKTypes.h"
#include "runtime/ByteReader.h"
#include "usbcam/PTPContainer.h"

namespace korv::usbcam {

namespace {

std::string Hex(uint32_t value) {
  std::ostringstream text;
  text << "0x" << std::hex << std::uppercase << value;
  return text.str();
}

// A PowerShot as the library meets it: the settings properties, zoom,
// transfer mode, owner, battery and event emulation.
std::map<uint16_t, ScriptedProperty> DefaultProperties() {
  std::map<uint16_t, ScriptedProperty> p;
  auto list = [&](uint16_t code, size_t width, uint32_t value, std::vector<uint32_t> values) {
    p[code] = {width, value, std::move(values), false, 0};
  };
  list(PRPropQuality, 1, 3, {1, 2, 3, 5});
  list(PRPropFileFormat, 1, 1, {1, 2});
  list(PRPropImageSize, 1, 0, {0, 1, 2, 3, 7});
  list(PRPropFlashMode, 1, 0, {0, 1, 2});
  list(PRPropBeep, 1, 1, {0, 1});
  list(PRPropShootingMode, 1, 0, {0, 1, 2, 3});
  list(PRPropMeteringMode, 1, 0, {0, 1, 3});
  list(PRPropAFDistance, 1, 0, {0, 1, 2});
  list(PRPropWhiteBalance, 1, 0, {0, 1, 2, 3});
  list(PRPropContrast, 1, 0, {0xFF, 0, 1});
  list(PRPropColorSaturation, 1, 0, {0xFF, 0, 1});
  list(PRPropSharpness, 1, 0, {0xFF, 0, 1});
  list(PRPropISO, 2, 0, {0, 0x48, 0x50, 0x58});
  list(PRPropAv, 2, 0x20, {0x20, 0x23, 0x25, 0x28});
  list(PRPropTv, 2, 0x60, {0x18, 0x20, 0x60, 0x68});
  list(PRPropExposureCompensation, 1, 0, {0xF8, 0, 8});
  list(PRPropFlashCompensation, 1, 0, {0xF8, 0, 8});
  list(PRPropPhotoEffect, 2, 0, {0, 1, 2});
  list(PRPropCaptureTransferMode, 2, 0, {});
  list(PRPropOpticalZoomEnd, 2, PRNoOpticalZoomEnd, {});
  list(PRPropBatteryKind, 2, 1, {});
  list(PRPropBatteryLevel, 4, 3, {});
  list(PTPPropEventEmulationMode, 2, 0, {});
  p[PRPropZoomPosition] = {2, 0, {}, true, 12};
  return p;
}

constexpr uint16_t Operations[] = {
    PTPOpGetDeviceInfo,         PTPOpOpenSession,      PTPOpCloseSession,           PTPOpGetObject,
    PTPOpGetDevicePropDesc,     PTPOpGetDevicePropValue, PTPOpSetDevicePropValue,   PTPOpInitiateReleaseControl,
    PTPOpTerminateReleaseControl, PTPOpCheckEvent,     PTPOpInitiateCaptureInMemory};

FaultKind FaultOf(const std::string& word, bool& known) {
  known = true;
  if (word == "respond") return FaultKind::Respond;
  if (word == "shortdata") return FaultKind::ShortData;
  if (word == "wrongtid") return FaultKind::WrongTransaction;
  if (word == "gone") return FaultKind::Gone;
  if (word == "noresponse") return FaultKind::NoResponse;
  known = false;
  return FaultKind::Respond;
}

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

// One statement; false when it can't be read.
bool ApplyLine(DeviceScript& script, const std::string& line) {
  std::istringstream in(line.substr(0, line.find('#')));
  std::string keyword;
  if (!(in >> keyword)) return true;
  auto rest = [&] {
    std::string text;
    std::getline(in >> std::ws, text);
    while (!text.empty() && isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    return text;
  };
  uint32_t a = 0, b = 0;
  bool known = false;
  const FaultKind fault = FaultOf(keyword, known);
  if (keyword == "model") script.Model = rest();
  else if (keyword == "owner") script.Owner = rest();
  else if (keyword == "packet") {
    if (!ReadNumber(in, a) || a == 0 || a > 4096) return false;
    script.PacketSize = a;
  } else if (keyword == "nozlp") script.ZeroLengthPackets = false;
  else if (keyword == "silent") script.Silent = true;
  else if (keyword == "eventdelay") {
    if (!ReadNumber(in, a)) return false;
    script.EventDelay = a;
  } else if (keyword == "pictures") {
    script.PictureSizes.clear();
    while (ReadNumber(in, a)) script.PictureSizes.push_back(a);
    if (script.PictureSizes.empty()) return false;
  } else if (keyword == "picturefile") {
    script.PictureFile = rest();
  } else if (keyword == "property") {
    if (!ReadNumber(in, a) || a > 0xFFFF) return false;
    std::string word;
    std::streampos at = in.tellg();
    if (in >> word && word == "none") {
      script.Properties.erase(static_cast<uint16_t>(a));
      return true;
    }
    in.clear();
    in.seekg(at);
    ScriptedProperty property;
    uint32_t width = 0;
    if (!ReadNumber(in, width) || (width != 1 && width != 2 && width != 4) || !ReadNumber(in, property.Value))
      return false;
    property.Width = width;
    while (ReadNumber(in, b)) property.Values.push_back(b);
    script.Properties[static_cast<uint16_t>(a)] = property;
  } else if (known) {
    ScriptedFault f;
    f.Kind = fault;
    if (!ReadNumber(in, a) || a > 0xFFFF) return false;
    f.Operation = static_cast<uint16_t>(a);
    if (fault == FaultKind::Respond || fault == FaultKind::Gone) {
      if (!ReadNumber(in, f.Value)) return false;
    }
    if (ReadNumber(in, b)) f.Count = b;
    script.Faults.push_back(f);
  } else {
    return false;
  }
  return true;
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

ScriptedDevice::ScriptedDevice(DeviceScript script) : Script(std::move(script)) {}

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
  if (Unplugged) return {TransferStatus::Gone, 0};
  const auto header = ParseHeader(container);
  if (!header || header->Length != container.size()) return {TransferStatus::Failed, 0};
  const auto parameters = ParseParameters(container);
  if (header->Type == static_cast<uint16_t>(PTPType::Command)) {
    std::string line = "cmd " + Hex(header->Code) + " tid " + std::to_string(header->Transaction);
    if (!parameters.empty()) line += " p";
    for (uint32_t p : parameters) line += " " + Hex(p);
    Note(line);
    Command(header->Code, header->Transaction, parameters);
  } else if (header->Type == static_cast<uint16_t>(PTPType::Data)) {
    Note("dataout " + Hex(header->Code) + " tid " + std::to_string(header->Transaction) + " len " +
                    std::to_string(header->Length));
    if (!AwaitingData || AwaitingData->Transaction != header->Transaction) return {TransferStatus::Failed, 0};
    const Pending pending = *AwaitingData;
    AwaitingData.reset();
    Execute(pending.Code, pending.Transaction, pending.Parameters,
            std::vector<uint8_t>(container.begin() + PTPHeaderSize, container.end()));
  } else {
    return {TransferStatus::Failed, 0};
  }
  (void)timeoutMs;
  return {TransferStatus::Ok, container.size()};
}

void ScriptedDevice::Command(uint16_t code, uint32_t transaction, const std::vector<uint32_t>& parameters) {
  if (DueFault(code, FaultKind::NoResponse)) return;
  // Transaction ids rise by one within a session; OpenSession starts at 0.
  const bool inOrder = code == PTPOpOpenSession ? transaction == 0 : transaction == LastTransaction + 1;
  LastTransaction = transaction;
  if (!inOrder) return Respond(0x2004, transaction);  // Invalid transaction ID
  if (const ScriptedFault* fault = DueFault(code, FaultKind::Respond))
    return Respond(static_cast<uint16_t>(fault->Value), transaction);
  if (code == PTPOpSetDevicePropValue) {
    AwaitingData = Pending{code, transaction, parameters};
    return;
  }
  Execute(code, transaction, parameters, {});
}

void ScriptedDevice::Respond(uint16_t code, uint32_t transaction) {
  Note("resp " + Hex(code) + " tid " + std::to_string(transaction));
  Queue(BuildContainer(PTPType::Response, code, transaction, {}), nullptr);
}

// Splits a container into packets; a gone fault cuts it and unplugs the
// camera there, a short-data fault sends only the first half of the payload.
void ScriptedDevice::Queue(std::vector<uint8_t> container, const ScriptedFault* fault) {
  const size_t packet = Script.PacketSize;
  size_t length = container.size();
  if (fault && fault->Kind == FaultKind::ShortData) length = PTPHeaderSize + (length - PTPHeaderSize) / 2;
  if (fault && fault->Kind == FaultKind::Gone) length = std::min<size_t>(length, fault->Value / packet * packet);
  for (size_t at = 0; at < length; at += packet)
    Packets.emplace_back(std::vector<uint8_t>(container.begin() + static_cast<ptrdiff_t>(at),
                                              container.begin() + static_cast<ptrdiff_t>(std::min(length, at + packet))));
  const bool cut = length < container.size();
  if (fault && fault->Kind == FaultKind::Gone) {
    Packets.emplace_back(std::nullopt);
    return;
  }
  if (length % packet == 0 && Script.ZeroLengthPackets && !cut) Packets.emplace_back(std::vector<uint8_t>{});
  if (cut && length % packet == 0) Packets.emplace_back(std::vector<uint8_t>{});  // ends the short transfer
}

void ScriptedDevice::Execute(uint16_t code, uint32_t transaction, const std::vector<uint32_t>& parameters,
                             const std::vector<uint8_t>& dataOut) {
  const uint32_t first = parameters.empty() ? 0 : parameters[0];
  auto data = [&](const std::vector<uint8_t>& payload) {
    const ScriptedFault* fault = DueFault(code, FaultKind::ShortData);
    if (!fault) fault = DueFault(code, FaultKind::Gone);
    Note("data " + Hex(code) + " tid " + std::to_string(transaction) + " len " +
                    std::to_string(payload.size() + PTPHeaderSize));
    Queue(BuildDataContainer(code, transaction, payload), fault);
  };
  auto respond = [&](uint16_t response) {
    if (Unplugged || (!Packets.empty() && !Packets.back())) return;  // gone with the data phase
    const bool wrong = DueFault(code, FaultKind::WrongTransaction) != nullptr;
    Respond(response, wrong ? transaction + 1 : transaction);
  };
  if (code != PTPOpOpenSession && code != PTPOpGetDeviceInfo && !SessionOpen) return respond(0x2003);
  const auto property = Script.Properties.find(static_cast<uint16_t>(first));
  const bool known = property != Script.Properties.end();
  switch (code) {
    case PTPOpOpenSession:
      if (SessionOpen) return respond(PTPResponseSessionAlreadyOpen);
      SessionOpen = true;
      return respond(PTPResponseOK);
    case PTPOpCloseSession: SessionOpen = InReleaseControl = false; return respond(PTPResponseOK);
    case PTPOpGetDeviceInfo: data(DeviceInfo()); return respond(PTPResponseOK);
    case PTPOpGetDevicePropDesc:
      if (!known) return respond(0x200A);
      data(PropDesc(property->first, property->second));
      return respond(PTPResponseOK);
    case PTPOpGetDevicePropValue: {
      if (first == PRPropOwnerName) {
        // A PTP string: count of 16-bit characters with the zero, then them.
        std::vector<uint8_t> text{static_cast<uint8_t>(Script.Owner.size() + 1)};
        for (char c : Script.Owner) AppendLittleEndian(text, static_cast<uint8_t>(c), 2);
        AppendLittleEndian(text, 0, 2);
        data(text);
        return respond(PTPResponseOK);
      }
      if (!known) return respond(0x200A);
      std::vector<uint8_t> value;
      AppendLittleEndian(value, property->second.Value, property->second.Width);
      data(value);
      return respond(PTPResponseOK);
    }
    case PTPOpSetDevicePropValue:
      if (!known) return respond(0x200A);
      if (dataOut.size() != property->second.Width) return respond(0x201B);
      property->second.Value = static_cast<uint32_t>(ByteReader(dataOut).Unsigned(dataOut.size()));
      return respond(PTPResponseOK);
    case PTPOpInitiateReleaseControl: InReleaseControl = true; return respond(PTPResponseOK);
    case PTPOpTerminateReleaseControl: InReleaseControl = false; return respond(PTPResponseOK);
    case PTPOpInitiateCaptureInMemory:
      if (!InReleaseControl) return respond(0x2002);
      Capture();
      return respond(PTPResponseOK);
    case PTPOpCheckEvent: {
      std::vector<uint8_t> payload;
      if (!Events.empty() && !Script.Silent) {
        Event& event = Events.front();
        if (event.Polls > 0) {
          --event.Polls;
        } else {
          const uint32_t object[] = {event.Object};
          payload = BuildContainer(PTPType::Event, event.Code, 0, object);
          Events.pop_front();
        }
      }
      data(payload);
      return respond(PTPResponseOK);
    }
    case PTPOpGetObject: {
      const auto found = Objects.find(first);
      if (found == Objects.end()) return respond(0x2009);
      data(found->second);
      Objects.erase(found);
      return respond(PTPResponseOK);
    }
    default: return respond(0x2005);
  }
}

// One picture per part the transfer mode sends to the computer: a
// thumbnail (0xC009) and the picture (0xC008).
void ScriptedDevice::Capture() {
  const uint32_t mode = Script.Properties[PRPropCaptureTransferMode].Value;
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
    Events.push_back({code, object, Events.empty() ? Script.EventDelay : 0});
  }
  ++Taken;
}

std::vector<uint8_t> ScriptedDevice::DeviceInfo() const {
  PTPDeviceInfo info;
  info.Operations.assign(std::begin(Operations), std::end(Operations));
  info.Events = {PREventObjectAdded, PREventThumbnailAdded};
  info.DeviceProperties.push_back(PRPropOwnerName);
  for (const auto& [code, property] : Script.Properties) info.DeviceProperties.push_back(code);
  return BuildDeviceInfo(info);
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

Transfer ScriptedDevice::Receive(std::span<uint8_t> buffer, int timeoutMs) {
  if (Unplugged) return {TransferStatus::Gone, 0};
  size_t got = 0;
  while (!Packets.empty()) {
    auto& packet = Packets.front();
    if (!packet) {
      Unplugged = true;
      Note("gone");
      return {TransferStatus::Gone, got};
    }
    if (packet->size() > buffer.size() - got) {
      if (got > 0) break;
      return {TransferStatus::Failed, 0};  // the packet overflows the read
    }
    std::copy(packet->begin(), packet->end(), buffer.begin() + static_cast<ptrdiff_t>(got));
    got += packet->size();
    const bool shortPacket = packet->size() < Script.PacketSize;
    Packets.pop_front();
    if (shortPacket || got == buffer.size()) {
      Note("read " + std::to_string(buffer.size()) + " " + std::to_string(got));
      return {TransferStatus::Ok, got};
    }
  }
  if (got > 0) {
    Note("read " + std::to_string(buffer.size()) + " " + std::to_string(got));
    return {TransferStatus::Ok, got};
  }
  Note("timeout");
  SleepMs(timeoutMs);
  return {TransferStatus::Timeout, 0};
}

TransferStatus ScriptedDevice::Reset() {
  if (Unplugged) return TransferStatus::Gone;
  Note("reset");
  Packets.clear();
  AwaitingData.reset();
  SessionOpen = InReleaseControl = false;
  return TransferStatus::Ok;
}

}  // namespace korv::usbcam
