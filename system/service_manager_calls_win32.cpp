// The service manager's side (vesprasi only).
#include <cstring>

#include "security/permissions_win32.h"
#include "system/service_calls.h"

namespace {
SC_HANDLE Sc(ScHandle h) {
    return static_cast<SC_HANDLE>(h);
}
} // namespace

ScHandle OpenServiceManager(DWORD access) {
    return ::OpenSCManagerA(nullptr, "ServicesActive", access);
}

ScHandle CreateServiceEntry(ScHandle manager, const ServiceConfig &config, DWORD access) {
    return ::CreateServiceA(Sc(manager), kServiceName, kServiceName, access,
                            config.serviceType, config.startType, config.errorControl,
                            config.binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
}

ScHandle OpenServiceEntry(ScHandle manager, DWORD access) {
    return ::OpenServiceA(Sc(manager), kServiceName, access);
}

BOOL QueryServiceState(ScHandle service, DWORD &state) {
    SERVICE_STATUS status;
    memset(&status, 0, sizeof status);
    if (!::QueryServiceStatus(Sc(service), &status))
        return FALSE;
    state = status.dwCurrentState;
    return TRUE;
}

BOOL StartServiceWith(ScHandle service, const char *argument) {
    const char *arguments[] = {argument};
    return ::StartServiceA(Sc(service), 1, arguments);
}

BOOL SendServiceControl(ScHandle service, DWORD control) {
    SERVICE_STATUS status;
    memset(&status, 0, sizeof status);
    return ::ControlService(Sc(service), control, &status);
}

BOOL DeleteServiceEntry(ScHandle service) {
    return ::DeleteService(Sc(service));
}

BOOL SetServiceDacl(ScHandle service, const char *sddl) {
    SddlDescriptor sd(sddl);
    return sd.Dacl() && ::SetServiceObjectSecurity(Sc(service), DACL_SECURITY_INFORMATION, sd.Get());
}

void CloseServiceHandleOf(ScHandle handle) {
    ::CloseServiceHandle(Sc(handle));
}

BOOL SetRecoveryActions(ScHandle service, DWORD resetSeconds, const RecoveryAction *actions,
                        DWORD count) {
    SC_ACTION list[8];
    if (count > sizeof list / sizeof list[0]) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (DWORD i = 0; i < count; ++i) {
        list[i].Type = static_cast<SC_ACTION_TYPE>(actions[i].type);
        list[i].Delay = actions[i].delayMs;
    }
    SERVICE_FAILURE_ACTIONSA config;
    memset(&config, 0, sizeof config);
    config.dwResetPeriod = resetSeconds;
    config.cActions = count;
    config.lpsaActions = list;
    return ::ChangeServiceConfig2A(Sc(service), SERVICE_CONFIG_FAILURE_ACTIONS, &config);
}

namespace {
// From Vista on; not in the headers of an XP build.
const DWORD kConfigFailureActionsFlag = 4; // SERVICE_CONFIG_FAILURE_ACTIONS_FLAG
struct FailureActionsFlag {               // SERVICE_FAILURE_ACTIONS_FLAG
    BOOL fFailureActionsOnNonCrashFailures;
};
} // namespace

BOOL SetRecoveryOnErrorStops(ScHandle service, BOOL enabled) {
    FailureActionsFlag flag = {enabled};
    return ::ChangeServiceConfig2A(Sc(service), kConfigFailureActionsFlag, &flag);
}
