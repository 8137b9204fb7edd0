// Camera settings through the CD and RC libraries, which offer the same
// setting entries under their own prefixes and share the CD codes: reading,
// writing and probing which values a camera accepts. Each backend hands in
// its library's entries; calls that are checked use the CD error texts.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "camera/CamDefines.h"
#include "camera/sdk/CodeTables.h"
#include "camera/sdk/SDKLibrary.h"

namespace korv {

// A setting that travels as one 16-bit code, with its six entries.
struct CodeSettingEntries {
  CameraSetting Setting;
  SDKEntry<TSDKGetCode>& Get;
  SDKEntry<TSDKSetValue>& Set;
  SDKEntry<TSDKEnumReset>& Reset;
  SDKEntry<TSDKEnumCount>& Count;
  SDKEntry<TSDKEnumNextCode>& Next;
  SDKEntry<TSDKEnumRelease>& Release;
};

// A setting's reset, count, next and release entries, for the two settings
// whose values come in pairs (image format, flash).
template <class NextType>
struct EnumerationEntries {
  SDKEntry<TSDKEnumReset>& Reset;
  SDKEntry<TSDKEnumCount>& Count;
  SDKEntry<NextType>& Next;
  SDKEntry<TSDKEnumRelease>& Release;
};

struct SourceSettingEntries {
  SDKEntry<TSDKGetCodePair>& GetImageFormat;
  SDKEntry<TSDKSetCodePair>& SetImageFormat;
  EnumerationEntries<TSDKEnumNextCodePair> ImageFormats;
  // Shooting mode, Av, Tv, exposure compensation, white balance, AF
  // distance: the order in which they are read, written and probed.
  std::array<CodeSettingEntries, 6> CodeSettings;
  SDKEntry<TSDKGetCodePair>& GetFlash;
  SDKEntry<TSDKSetCodePair>& SetFlash;
  EnumerationEntries<TSDKEnumNextCode> FlashModes;
  SDKEntry<TSDKGetRelCamSettingData>& GetRelCam;
  SDKEntry<TSDKSetRelCamSettingData>& SetRelCam;
  SDKEntry<TSDKEnumRelCamSettingDataReset>& RelCamReset;
  SDKEntry<TSDKEnumCount>& RelCamCount;
  SDKEntry<TSDKEnumRelCamSettingDataNext>& RelCamNext;
  SDKEntry<TSDKEnumRelease>& RelCamRelease;
};

// Reads every setting; a read that fails leaves ordinal 0 in its field (and
// colour temperature 0). No status raises.
void ReadSourceSettings(const SourceSettingEntries& Entries, TSDKHandle Source, TCameraSettings& Settings);

// One settings write, handed to a writer that decides how often to try it.
using SettingWrite = std::function<TSDKStatus()>;
using SettingWriter = void (*)(const SettingWrite& Write);

// Sends every nonzero field in the libraries' order through `Writer`; the
// colour temperature follows the white balance when that is ordinal 13.
void WriteSourceSettings(const SourceSettingEntries& Entries, TSDKHandle Source, TCameraSettings Settings,
                         SettingWriter Writer);

// Finds the values each setting accepts, from the camera's own lists where
// it can list them, else by trial writes, and marks them in `Capabilities`.
// Reports progress to the component `ComponentIndex` (the first report
// before the first step); `ReportAfterFlash` tells whether the flash step
// reports too. Checked calls raise; the camera keeps what trials left.
void ProbeSourceSettings(const SourceSettingEntries& Entries, TSDKHandle Source, TRemoteCapabilities& Capabilities,
                         uint32_t ComponentIndex, bool ReportAfterFlash);

}  // namespace korv
