// Camera settings through the CD and RC libraries, which offer the same
// setting entries under their own prefixes and share the CD codes: reading,
// writing and probing which values a camera accepts. Each backend hands in
// its library's entries; calls that are checked use the CD error texts.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "camera/CamDefines.h"
#include "camera/sdk/DeviceLists.h"
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

// The entries of SourceSettingEntries in the library with the prefix P (CD, RC).
#define KORV_SOURCE_CODE_SETTING(P, Setting, Entry)                                                              \
  {CameraSetting::Setting, P##Get##Entry, P##Set##Entry, P##Enum##Entry##Reset, P##Get##Entry##Count,          \
   P##Enum##Entry##Next, P##Enum##Entry##Release}
#define KORV_SOURCE_SETTING_ENTRIES(P)                                                                            \
  SourceSettingEntries {                                                                                          \
    P##GetImageFormatAttribute, P##SetImageFormatAttribute,                                                       \
        {P##EnumImageFormatAttributeReset, P##GetImageFormatAttributeCount, P##EnumImageFormatAttributeNext,      \
         P##EnumImageFormatAttributeRelease},                                                                     \
        {{                                                                                                        \
            KORV_SOURCE_CODE_SETTING(P, ShootingMode, ShootingMode),                                              \
            KORV_SOURCE_CODE_SETTING(P, Av, AvValue),                                                             \
            KORV_SOURCE_CODE_SETTING(P, Tv, TvValue),                                                             \
            KORV_SOURCE_CODE_SETTING(P, ExposureCompensation, ExposureComp),                                      \
            KORV_SOURCE_CODE_SETTING(P, WhiteBalance, WBSetting),                                                 \
            KORV_SOURCE_CODE_SETTING(P, AFDistance, AFDistanceSetting),                                           \
        }},                                                                                                       \
        P##GetFlashSetting, P##SetFlashSetting,                                                                   \
        {P##EnumFlashSettingReset, P##GetFlashSettingCount, P##EnumFlashSettingNext, P##EnumFlashSettingRelease}, \
        P##GetRelCamSettingData, P##SetRelCamSettingData, P##EnumRelCamSettingDataReset,                          \
        P##GetRelCamSettingDataCount, P##EnumRelCamSettingDataNext, P##EnumRelCamSettingDataRelease,              \
  }

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
// Trials change the camera's settings: they are read first and written back
// through `Writer` at the end. Reports progress through `Progress`
// (the first report before the first step);
// `ReportAfterFlash` tells whether the flash step reports too. A checked
// call that fails raises after the settings were written back.
void ProbeSourceSettings(const SourceSettingEntries& Entries, TSDKHandle Source, TRemoteCapabilities& Capabilities,
                         const TProbeProgress& Progress, bool ReportAfterFlash, SettingWriter Writer);

}  // namespace korv
