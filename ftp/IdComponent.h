// The base of every network component: status reports and the nested work
// counters behind the progress events. Each live component keeps the shared
// socket stack alive.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace korv {

enum TIdStatus {
  hsResolving,
  hsConnecting,
  hsConnected,
  hsDisconnecting,
  hsDisconnected,
  hsStatusText,
  ftpTransfer,
  ftpReady,
  ftpAborted
};

enum TWorkMode { wmRead, wmWrite };

class TIdComponent;

using TIdStatusEvent = std::function<void(TIdComponent* sender, TIdStatus status, const std::string& statusText)>;
using TWorkBeginEvent = std::function<void(TIdComponent* sender, TWorkMode mode, int64_t workCountMax)>;
using TWorkEvent = std::function<void(TIdComponent* sender, TWorkMode mode, int64_t workCount)>;
using TWorkEndEvent = std::function<void(TIdComponent* sender, TWorkMode mode)>;

// The format of each status; "%s" takes the argument of the report.
extern const char* const StatusTexts[ftpAborted + 1];

class TIdComponent {
public:
  TIdComponent();
  virtual ~TIdComponent();
  TIdComponent(const TIdComponent&) = delete;
  TIdComponent& operator=(const TIdComponent&) = delete;

  // The plain notification of the network components (connected,
  // disconnected, logged in); a member type, since the camera component has
  // a TNotifyEvent of its own.
  using TNotifyEvent = std::function<void(TIdComponent* sender)>;

  TIdStatusEvent OnStatus;
  TWorkBeginEvent OnWorkBegin;
  TWorkEvent OnWork;
  TWorkEndEvent OnWorkEnd;

  // Formats the status text only when someone listens. A format without
  // "%s" ignores the argument.
  void ReportStatus(TIdStatus status, const std::string& argument = "");

  // Work counters nest: only the outermost StartWork/FinishWork pair fires
  // OnWorkBegin/OnWorkEnd, and OnWork carries the running total.
  virtual void StartWork(TWorkMode mode, int64_t max);
  virtual void AddWork(TWorkMode mode, int64_t count);
  virtual void FinishWork(TWorkMode mode);

private:
  struct WorkCounter {
    int Level = 0;
    int64_t Max = 0;
    int64_t Current = 0;
  };
  WorkCounter WorkInfos[2];
};

}  // namespace korv
