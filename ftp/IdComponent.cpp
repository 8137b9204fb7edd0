#include "ftp/IdComponent.h"

#include "ftp/IdStack.h"

namespace korv {

const char* const StatusTexts[ftpAborted + 1] = {
    "Resolving hostname %s.", "Connecting to %s.", "Connected.", "Disconnecting.", "Disconnected.",
    "%s",                     "%s",                "%s",         "%s",
};

TIdComponent::TIdComponent() { AddStackUser(); }

TIdComponent::~TIdComponent() { ReleaseStackUser(); }

void TIdComponent::ReportStatus(TIdStatus status, const std::string& argument) {
  if (!OnStatus) return;
  std::string text = StatusTexts[status];
  if (size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, argument);
  OnStatus(this, status, text);
}

void TIdComponent::StartWork(TWorkMode mode, int64_t max) {
  WorkCounter& counter = WorkInfos[mode];
  if (++counter.Level == 1) {
    counter.Max = max;
    counter.Current = 0;
    if (OnWorkBegin) OnWorkBegin(this, mode, max);
  }
}

void TIdComponent::AddWork(TWorkMode mode, int64_t count) {
  WorkCounter& counter = WorkInfos[mode];
  if (counter.Level < 1) return;
  counter.Current += count;
  if (OnWork) OnWork(this, mode, counter.Current);
}

void TIdComponent::FinishWork(TWorkMode mode) {
  WorkCounter& counter = WorkInfos[mode];
  if (counter.Level == 1 && OnWorkEnd) OnWorkEnd(this, mode);
  if (counter.Level > 0) --counter.Level;  // an unmatched finish must not swallow the next start
}

}  // namespace korv
