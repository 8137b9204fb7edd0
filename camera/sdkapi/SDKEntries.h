// The entry tables of the three camera libraries, in binding order, as
// X-macros so that the binding units and the simulated libraries are built
// from one list. Each table is invoked with three macros:
//   X(Name, Type)              an entry the backends call, with its type
//                              from SDKTypes.h, exported under its name;
//   U(Name)                    an entry no backend calls (type TSDKUntyped);
//   D(Name, "Export", Type)    an entry exported under a decorated name.
#pragma once

#include "camera/sdkapi/SDKTypes.h"

// CDSDK.DLL, 153 entries in binding order.
#define KORV_CD_ENTRIES(X, U, D) \
  X(CDStartSDK, TSDKStartSDK) \
  U(CDFinishSDK) \
  U(CDGetSDKVersion) \
  X(CDEnumDeviceReset, TSDKEnumDeviceReset) \
  X(CDEnumDeviceNext, TSDKEnumDeviceNext) \
  X(CDGetDeviceCount, TSDKEnumCount) \
  X(CDEnumDeviceRelease, TSDKEnumRelease) \
  X(CDOpenSource, TSDKOpenSource) \
  X(CDCloseSource, TSDKSource) \
  X(CDRegisterEventCallbackFunction, TSDKRegisterEventCallback) \
  U(CDUnregisterEventCallbackFunction) \
  X(CDEnumDevicePropertyReset, TSDKEnumDevicePropertyReset) \
  X(CDEnumDevicePropertyNext, TCDEnumDevicePropertyNext) \
  U(CDGetDevicePropertyCount) \
  X(CDEnumDevicePropertyRelease, TSDKEnumRelease) \
  X(CDGetDevicePropertyData, TSDKGetDevicePropertyData) \
  U(CDSetDevicePropertyData) \
  U(CDEnumSupportedImageSizeReset) \
  U(CDEnumSupportedImageSizeNext) \
  U(CDGetSupportedImageSizeCount) \
  U(CDEnumSupportedImageSizeRelease) \
  U(CDLockUI) \
  U(CDUnlockUI) \
  U(CDSetUILockTimeOutTime) \
  U(CDFormat) \
  U(CDEnumVolumeReset) \
  U(CDEnumVolumeNext) \
  U(CDGetVolumeCount) \
  U(CDEnumVolumeRelease) \
  U(CDGetVolumeName) \
  U(CDGetVolumeInfo) \
  U(CDEnumItemReset) \
  U(CDEnumItemNext) \
  U(CDGetItemCount) \
  U(CDEnumItemRelease) \
  U(CDEnumImageItemReset) \
  U(CDEnumImageItemNext) \
  U(CDGetImageItemCount) \
  U(CDEnumImageItemRelease) \
  U(CDGetItemInfo) \
  U(CDMakeImageItem) \
  U(CDFreeImageItem) \
  U(CDOpenImage) \
  U(CDCloseImage) \
  U(CDGetThumbnail) \
  U(CDGetPicture) \
  U(CDGetMovie) \
  U(CDGetSound) \
  U(CDEnumImageDataInItemReset) \
  U(CDEnumImageDataInItemNext) \
  U(CDGetImageDataInItemCount) \
  U(CDEnumImageDataInItemRelease) \
  U(CDGetImageDataInfo) \
  U(CDGetImageData) \
  U(CDAddPicture) \
  U(CDDeleteImage) \
  U(CDIsPrintMarked) \
  U(CDIsSlideMarked) \
  U(CDIsTransferMarked) \
  U(CDEnumBaseImageDataPropertyReset) \
  U(CDEnumBaseImageDataPropertyNext) \
  U(CDGetBaseImageDataPropertyCount) \
  U(CDEnumBaseImageDataPropertyRelease) \
  U(CDGetBaseImageDataProperty) \
  U(CDEnumImageItemPropertyReset) \
  U(CDEnumImageItemPropertyNext) \
  U(CDGetImageItemPropertyCount) \
  U(CDEnumImageItemPropertyRelease) \
  U(CDGetImageItemProperty) \
  U(CDSetImageItemProperty) \
  U(CDFlashImageItemProperty) \
  U(CDGetThumbnailValidArea) \
  X(CDEnterReleaseControl, TSDKEnterReleaseControl) \
  U(CDExitReleaseControl) \
  D(CDGetReleaseControlFaculty, "_CDGetReleaseControlFaculty@8", TSDKGetWord) \
  X(CDSelectReleaseDataKind, TSDKSetValue) \
  X(CDRelease, TSDKRelease) \
  X(CDGetReleasedData, TSDKGetReleasedData) \
  U(CDStartViewfinder) \
  U(CDTermViewfinder) \
  U(CDSelectViewFinderCameraOutput) \
  U(CDActViewfinderAutoFunctions) \
  X(CDGetMaximumZoomPos, TSDKGetWordPair) \
  X(CDGetZoomPos, TSDKGetWord) \
  U(CDGetDZoomMagnification) \
  X(CDSetZoomPos, TSDKSetValue) \
  U(CDAFLock) \
  X(CDSetImageFormatAttribute, TSDKSetCodePair) \
  X(CDGetImageFormatAttribute, TSDKGetCodePair) \
  X(CDEnumImageFormatAttributeReset, TSDKEnumReset) \
  X(CDEnumImageFormatAttributeNext, TSDKEnumNextCodePair) \
  X(CDEnumImageFormatAttributeRelease, TSDKEnumRelease) \
  X(CDGetImageFormatAttributeCount, TSDKEnumCount) \
  U(CDSetDriveMode) \
  U(CDGetDriveMode) \
  U(CDEnumDriveModeReset) \
  U(CDEnumDriveModeNext) \
  U(CDEnumDriveModeRelease) \
  U(CDGetDriveModeCount) \
  X(CDSetShootingMode, TSDKSetValue) \
  X(CDGetShootingMode, TSDKGetCode) \
  X(CDEnumShootingModeReset, TSDKEnumReset) \
  X(CDEnumShootingModeNext, TSDKEnumNextCode) \
  X(CDEnumShootingModeRelease, TSDKEnumRelease) \
  X(CDGetShootingModeCount, TSDKEnumCount) \
  X(CDSetAvValue, TSDKSetValue) \
  X(CDGetAvValue, TSDKGetCode) \
  X(CDSetTvValue, TSDKSetValue) \
  X(CDGetTvValue, TSDKGetCode) \
  X(CDEnumAvValueReset, TSDKEnumReset) \
  X(CDEnumAvValueNext, TSDKEnumNextCode) \
  X(CDEnumAvValueRelease, TSDKEnumRelease) \
  X(CDGetAvValueCount, TSDKEnumCount) \
  X(CDEnumTvValueReset, TSDKEnumReset) \
  X(CDEnumTvValueNext, TSDKEnumNextCode) \
  X(CDEnumTvValueRelease, TSDKEnumRelease) \
  X(CDGetTvValueCount, TSDKEnumCount) \
  X(CDSetExposureComp, TSDKSetValue) \
  X(CDGetExposureComp, TSDKGetCode) \
  X(CDEnumExposureCompReset, TSDKEnumReset) \
  X(CDEnumExposureCompNext, TSDKEnumNextCode) \
  X(CDEnumExposureCompRelease, TSDKEnumRelease) \
  X(CDGetExposureCompCount, TSDKEnumCount) \
  X(CDSetWBSetting, TSDKSetValue) \
  X(CDGetWBSetting, TSDKGetCode) \
  X(CDEnumWBSettingReset, TSDKEnumReset) \
  X(CDEnumWBSettingNext, TSDKEnumNextCode) \
  X(CDEnumWBSettingRelease, TSDKEnumRelease) \
  X(CDGetWBSettingCount, TSDKEnumCount) \
  X(CDSetAFDistanceSetting, TSDKSetValue) \
  X(CDGetAFDistanceSetting, TSDKGetCode) \
  X(CDEnumAFDistanceSettingReset, TSDKEnumReset) \
  X(CDEnumAFDistanceSettingNext, TSDKEnumNextCode) \
  X(CDEnumAFDistanceSettingRelease, TSDKEnumRelease) \
  X(CDGetAFDistanceSettingCount, TSDKEnumCount) \
  X(CDSetFlashSetting, TSDKSetCodePair) \
  X(CDGetFlashSetting, TSDKGetCodePair) \
  X(CDEnumFlashSettingReset, TSDKEnumReset) \
  X(CDEnumFlashSettingNext, TSDKEnumNextCode) \
  X(CDEnumFlashSettingRelease, TSDKEnumRelease) \
  X(CDGetFlashSettingCount, TSDKEnumCount) \
  U(CDGetNumAvailableShot) \
  U(CDEnumRelCamSettingReset) \
  U(CDEnumRelCamSettingNext) \
  U(CDGetRelCamSettingCount) \
  U(CDEnumRelCamSettingRelease) \
  X(CDGetRelCamSettingData, TSDKGetRelCamSettingData) \
  X(CDSetRelCamSettingData, TSDKSetRelCamSettingData) \
  X(CDEnumRelCamSettingDataReset, TSDKEnumRelCamSettingDataReset) \
  X(CDEnumRelCamSettingDataNext, TSDKEnumRelCamSettingDataNext) \
  X(CDEnumRelCamSettingDataRelease, TSDKEnumRelease) \
  X(CDGetRelCamSettingDataCount, TSDKEnumCount) \
  U(CDGetImagePropertyPart)

// PRSDK.DLL, 25 entries in binding order.
#define KORV_PR_ENTRIES(X, U, D) \
  X(PR_StartSDK, TPRStartSDK) \
  U(PR_FinishSDK) \
  U(PR_GetDllsVersion) \
  X(PR_GetDeviceList, TPRGetDeviceList) \
  X(PR_CreateCameraObject, TPRCreateCameraObject) \
  X(PR_DestroyCameraObject, TPRCamera) \
  X(PR_ConnectCamera, TPRCamera) \
  X(PR_DisconnectCamera, TPRCamera) \
  X(PR_SetEventCallBack, TPRSetEventCallBack) \
  U(PR_ClearEventCallBack) \
  X(PR_GetDeviceInfo, TPRGetDeviceInfo) \
  X(PR_InitiateReleaseControl, TPRCamera) \
  U(PR_TerminateReleaseControl) \
  X(PR_RC_Release, TPRCamera) \
  X(PR_RC_GetReleasedData, TPRGetReleasedData) \
  U(PR_RC_GetNumAvailableShot) \
  U(PR_RC_StartViewFinder) \
  U(PR_RC_TermViewFinder) \
  U(PR_RC_DoAeAfAwb) \
  U(PR_RC_FocusLock) \
  U(PR_RC_FocusUnlock) \
  X(PR_GetDevicePropDesc, TPRGetDeviceProp) \
  X(PR_GetDevicePropValue, TPRGetDeviceProp) \
  X(PR_SetDevicePropValue, TPRSetDevicePropValue) \
  U(PR_RC_GetChangedReleaseParamesList)

// RCSDK.DLL, 202 entries in binding order.
#define KORV_RC_ENTRIES(X, U, D) \
  X(RCStartSDK, TSDKStartSDK) \
  U(RCFinishSDK) \
  U(RCGetSDKVersion) \
  U(RCShowDeviceSelectingUI) \
  U(RCGetPreviousDeviceInfo) \
  X(RCEnumDeviceReset, TSDKEnumDeviceReset) \
  X(RCEnumDeviceNext, TSDKEnumDeviceNext) \
  X(RCGetDeviceCount, TSDKEnumCount) \
  X(RCEnumDeviceRelease, TSDKEnumRelease) \
  U(RCGetPluggedDevice) \
  X(RCOpenSource, TSDKOpenSource) \
  X(RCCloseSource, TSDKSource) \
  X(RCRegisterEventCallbackFunction, TSDKRegisterEventCallback) \
  U(RCUnregisterEventCallbackFunction) \
  X(RCEnumDevicePropertyReset, TSDKEnumDevicePropertyReset) \
  X(RCEnumDevicePropertyNext, TRCEnumDevicePropertyNext) \
  U(RCGetDevicePropertyCount) \
  X(RCEnumDevicePropertyRelease, TSDKEnumRelease) \
  X(RCGetDevicePropertyData, TSDKGetDevicePropertyData) \
  U(RCSetDevicePropertyData) \
  U(RCEnumSupportedImageSizeReset) \
  U(RCEnumSupportedImageSizeNext) \
  U(RCGetSupportedImageSizeCount) \
  U(RCEnumSupportedImageSizeRelease) \
  U(RCGetPersonalFunctionSetting) \
  U(RCSetPersonalFunctionSetting) \
  U(RCShowDeviceSettingUI) \
  U(RCLockUI) \
  U(RCUnlockUI) \
  U(RCSetUILockTimeOutTime) \
  U(RCFormat) \
  U(RCSetUserColorMatrix) \
  U(RCGetUserColorMatrix) \
  U(RCSetJpegQuality) \
  U(RCGetJpegQuality) \
  U(RCSetWhiteBalanceShift) \
  U(RCGetWhiteBalanceShift) \
  U(RCEnumVolumeReset) \
  U(RCEnumVolumeNext) \
  U(RCGetVolumeCount) \
  U(RCEnumVolumeRelease) \
  U(RCGetVolumeName) \
  U(RCGetVolumeInfo) \
  U(RCEnumItemReset) \
  U(RCEnumItemNext) \
  U(RCGetItemCount) \
  U(RCEnumItemRelease) \
  U(RCEnumImageItemReset) \
  U(RCEnumImageItemNext) \
  U(RCGetImageItemCount) \
  U(RCEnumImageItemRelease) \
  U(RCGetItemInfo) \
  U(RCMakeImageItem) \
  U(RCFreeImageItem) \
  U(RCOpenImage) \
  U(RCCloseImage) \
  U(RCGetThumbnail) \
  U(RCGetPicture) \
  U(RCGetMovie) \
  U(RCGetSound) \
  U(RCEnumImageDataInItemReset) \
  U(RCEnumImageDataInItemNext) \
  U(RCGetImageDataInItemCount) \
  U(RCEnumImageDataInItemRelease) \
  U(RCGetImageDataInfo) \
  U(RCGetImageData) \
  U(RCAddPicture) \
  U(RCDeleteImage) \
  U(RCIsPrintMarked) \
  U(RCIsSlideMarked) \
  U(RCIsTransferMarked) \
  U(RCEnumBaseImageDataPropertyReset) \
  U(RCEnumBaseImageDataPropertyNext) \
  U(RCGetBaseImageDataPropertyCount) \
  U(RCEnumBaseImageDataPropertyRelease) \
  U(RCGetBaseImageDataProperty) \
  U(RCEnumImageItemPropertyReset) \
  U(RCEnumImageItemPropertyNext) \
  U(RCGetImageItemPropertyCount) \
  U(RCEnumImageItemPropertyRelease) \
  U(RCGetImageItemProperty) \
  U(RCSetImageItemProperty) \
  U(RCFlashImageItemProperty) \
  U(RCEnumIIMInfoReset) \
  U(RCEnumIIMInfoNext) \
  U(RCGetIIMInfoCount) \
  U(RCEnumIIMInfoRelease) \
  U(RCGetIIMData) \
  U(RCSetIIMData) \
  U(RCFlashIIMData) \
  U(RCGetThumbnailValidArea) \
  U(RCCreateRAWObject) \
  U(RCDisposeRAWObject) \
  U(RCIsSupportParamItem) \
  U(RCGetSupportParamItemHead) \
  U(RCGetSupportParamItemNext) \
  U(RCIsSupportParamValue) \
  U(RCGetSupportParamValueHead) \
  U(RCGetSupportParamValueNext) \
  U(RCGetParamValue) \
  U(RCSetParamValue) \
  U(RCReadParamValueFile) \
  U(RCWriteParamValueFile) \
  U(RCReflectParamValues) \
  U(RCSetAllParamValueToAtCapture) \
  U(RCCopyClickWBCoefs) \
  U(RCDevelop) \
  U(RCWriteDevParamToRAW) \
  U(RCCopyRawObjPrmToStgMedium) \
  U(RCCopyStgMediumPrmToRawObj) \
  U(RCUnFocusRAWObject) \
  U(RCReplaceStgMediumOfRAW) \
  U(RCCompareParamValues) \
  X(RCStartCaptureSession, TSDKEnterReleaseControl) \
  U(RCEndCaptureSession) \
  X(RCCapture, TSDKSource) \
  X(RCTakeCapturedImage, TRCTakeCapturedImage) \
  X(RCEnterReleaseControl, TSDKEnterReleaseControl) \
  U(RCExitReleaseControl) \
  X(RCGetReleaseControlFaculty, TSDKGetWord) \
  X(RCSelectReleaseDataKind, TSDKSetValue) \
  X(RCRelease, TSDKRelease) \
  X(RCGetReleasedData, TSDKGetReleasedData) \
  U(RCStartViewfinder) \
  U(RCTermViewfinder) \
  U(RCSelectViewFinderCameraOutput) \
  U(RCActViewfinderAutoFunctions) \
  X(RCGetMaximumZoomPos, TSDKGetWordPair) \
  X(RCGetZoomPos, TSDKGetWord) \
  U(RCGetDZoomMagnification) \
  X(RCSetZoomPos, TSDKSetValue) \
  U(RCAFLock) \
  X(RCSetImageFormatAttribute, TSDKSetCodePair) \
  X(RCGetImageFormatAttribute, TSDKGetCodePair) \
  X(RCEnumImageFormatAttributeReset, TSDKEnumReset) \
  X(RCEnumImageFormatAttributeNext, TSDKEnumNextCodePair) \
  X(RCEnumImageFormatAttributeRelease, TSDKEnumRelease) \
  X(RCGetImageFormatAttributeCount, TSDKEnumCount) \
  U(RCSetDriveMode) \
  U(RCGetDriveMode) \
  U(RCEnumDriveModeReset) \
  U(RCEnumDriveModeNext) \
  U(RCEnumDriveModeRelease) \
  U(RCGetDriveModeCount) \
  X(RCSetShootingMode, TSDKSetValue) \
  X(RCGetShootingMode, TSDKGetCode) \
  X(RCEnumShootingModeReset, TSDKEnumReset) \
  X(RCEnumShootingModeNext, TSDKEnumNextCode) \
  X(RCEnumShootingModeRelease, TSDKEnumRelease) \
  X(RCGetShootingModeCount, TSDKEnumCount) \
  X(RCSetAvValue, TSDKSetValue) \
  X(RCGetAvValue, TSDKGetCode) \
  X(RCSetTvValue, TSDKSetValue) \
  X(RCGetTvValue, TSDKGetCode) \
  X(RCEnumAvValueReset, TSDKEnumReset) \
  X(RCEnumAvValueNext, TSDKEnumNextCode) \
  X(RCEnumAvValueRelease, TSDKEnumRelease) \
  X(RCGetAvValueCount, TSDKEnumCount) \
  X(RCEnumTvValueReset, TSDKEnumReset) \
  X(RCEnumTvValueNext, TSDKEnumNextCode) \
  X(RCEnumTvValueRelease, TSDKEnumRelease) \
  X(RCGetTvValueCount, TSDKEnumCount) \
  X(RCSetExposureComp, TSDKSetValue) \
  X(RCGetExposureComp, TSDKGetCode) \
  X(RCEnumExposureCompReset, TSDKEnumReset) \
  X(RCEnumExposureCompNext, TSDKEnumNextCode) \
  X(RCEnumExposureCompRelease, TSDKEnumRelease) \
  X(RCGetExposureCompCount, TSDKEnumCount) \
  X(RCSetWBSetting, TSDKSetValue) \
  X(RCGetWBSetting, TSDKGetCode) \
  X(RCEnumWBSettingReset, TSDKEnumReset) \
  X(RCEnumWBSettingNext, TSDKEnumNextCode) \
  X(RCEnumWBSettingRelease, TSDKEnumRelease) \
  X(RCGetWBSettingCount, TSDKEnumCount) \
  X(RCSetAFDistanceSetting, TSDKSetValue) \
  X(RCGetAFDistanceSetting, TSDKGetCode) \
  X(RCEnumAFDistanceSettingReset, TSDKEnumReset) \
  X(RCEnumAFDistanceSettingNext, TSDKEnumNextCode) \
  X(RCEnumAFDistanceSettingRelease, TSDKEnumRelease) \
  X(RCGetAFDistanceSettingCount, TSDKEnumCount) \
  X(RCSetFlashSetting, TSDKSetCodePair) \
  X(RCGetFlashSetting, TSDKGetCodePair) \
  X(RCEnumFlashSettingReset, TSDKEnumReset) \
  X(RCEnumFlashSettingNext, TSDKEnumNextCode) \
  X(RCEnumFlashSettingRelease, TSDKEnumRelease) \
  X(RCGetFlashSettingCount, TSDKEnumCount) \
  U(RCEnumCustomFunctionSettingReset) \
  U(RCEnumCustomFunctionSettingNext) \
  U(RCGetCustomFunctionSettingCount) \
  U(RCEnumCustomFunctionSettingRelease) \
  U(RCGetNumAvailableShot) \
  U(RCEnumRelCamSettingReset) \
  U(RCEnumRelCamSettingNext) \
  U(RCGetRelCamSettingCount) \
  U(RCEnumRelCamSettingRelease) \
  X(RCGetRelCamSettingData, TSDKGetRelCamSettingData) \
  X(RCSetRelCamSettingData, TSDKSetRelCamSettingData) \
  X(RCEnumRelCamSettingDataReset, TSDKEnumRelCamSettingDataReset) \
  X(RCEnumRelCamSettingDataNext, TSDKEnumRelCamSettingDataNext) \
  X(RCEnumRelCamSettingDataRelease, TSDKEnumRelease) \
  X(RCGetRelCamSettingDataCount, TSDKEnumCount) \
  U(RCGetImagePropertyPart)
