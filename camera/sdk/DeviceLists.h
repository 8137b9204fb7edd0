// What the backends share with the component they serve: the copies of
// library records it keeps, the process-wide device lists, and the callback
// through which they report parameter probing.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "camera/sdkapi/SDKTypes.h"

namespace korv {

// Copies of library records that the component keeps.
using CDSourceRecord = std::array<uint8_t, SDKSourceRecordSize>;
using PRDeviceRecord = std::array<uint8_t, PRDeviceRecordSize>;
using PREventRecord = std::array<uint8_t, PREventRecordSize>;

// Process-wide lists of the component unit, shared by every instance and
// freed with the last one. The backends fill the device lists at enumeration
// and pick from them at Connect, which hold the component's lists lock
// meanwhile; no callback reads them.
std::vector<CDSourceRecord>& CDDeviceList();
std::vector<PRDeviceRecord>& PRDeviceList();
std::vector<CDSourceRecord>& EOSDeviceList();

// Parameter probing's progress in percent, given to each backend by its
// component; empty: nobody listens.
using TProbeProgress = std::function<void(int32_t PercentageDone)>;

}  // namespace korv
