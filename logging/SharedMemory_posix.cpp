// POSIX carriage of the debug channel's named objects.
//
// "Local\Name" becomes "/Name.<uid>" (with ".<suffix>" when the environment
// variable SCALEPROBE_WBDEBUG_SUFFIX holds one, so that tests stay apart):
// the shared memory is a shm object, the mutex a robust process-shared
// pthread mutex in a small shm object of its own, the events are named
// semaphores. Everything is created readable and writable by the owner only,
// and an object that belongs to another user is not opened.
//
// The viewer's command comes from the first line of
// $XDG_CONFIG_HOME/scaleprobe/WbDebugViewer (~/.config/... without it). A
// started viewer is a child of this process and outlives the start; its exit
// status is collected with waitpid(WNOHANG) for its own pid only, whenever
// the channel tries to connect and when the channel is freed.
#include "logging/SharedMemory.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <initializer_list>
#include <mutex>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {
constexpr std::string_view CLocalPrefix = "Local\\";

std::string PosixName(std::string_view AName) {
    if (AName.substr(0, CLocalPrefix.size()) == CLocalPrefix)
        AName.remove_prefix(CLocalPrefix.size());
    std::string LName = "/";
    LName.append(AName);
    LName += '.';
    LName += std::to_string(geteuid());
    if (const char* LSuffix = std::getenv("SCALEPROBE_WBDEBUG_SUFFIX"); LSuffix && *LSuffix) {
        LName += '.';
        for (const char* P = LSuffix; *P; ++P)
            LName += (std::isalnum(static_cast<unsigned char>(*P)) || *P == '_') ? *P : '_';
    }
    return LName;
}

bool OwnedByMe(int AFd) {
    struct stat LStat {};
    return fstat(AFd, &LStat) == 0 && LStat.st_uid == geteuid();
}

timespec Deadline(uint32_t ATimeoutMs) {
    timespec LTime{};
    clock_gettime(CLOCK_REALTIME, &LTime);
    LTime.tv_sec += ATimeoutMs / 1000;
    LTime.tv_nsec += static_cast<long>(ATimeoutMs % 1000) * 1000000L;
    if (LTime.tv_nsec >= 1000000000L) {
        LTime.tv_sec += 1;
        LTime.tv_nsec -= 1000000000L;
    }
    return LTime;
}

class TPosixView : public TSharedView {
public:
    TPosixView(void* AData, size_t ASize) : FData(AData), FSize(ASize) {}
    ~TPosixView() override { munmap(FData, FSize); }
    uint8_t* Data() const override { return static_cast<uint8_t*>(FData); }
    size_t Size() const override { return FSize; }

private:
    void* FData;
    size_t FSize;
};

std::unique_ptr<TSharedView> MapFd(int AFd, int& AError) {
    struct stat LStat {};
    if (fstat(AFd, &LStat) != 0) {
        AError = errno;
        return nullptr;
    }
    const auto LSize = static_cast<size_t>(LStat.st_size);
    void* LData =
        LSize == 0 ? MAP_FAILED : mmap(nullptr, LSize, PROT_READ | PROT_WRITE, MAP_SHARED, AFd, 0);
    if (LData == MAP_FAILED) {
        AError = LSize == 0 ? EINVAL : errno;
        return nullptr;
    }
    return std::make_unique<TPosixView>(LData, LSize);
}

class TPosixSharedMemory : public TSharedMemory {
public:
    explicit TPosixSharedMemory(int AFd) : FFd(AFd) {}
    ~TPosixSharedMemory() override { close(FFd); }
    std::unique_ptr<TSharedView> MapView(int& AError) override { return MapFd(FFd, AError); }
    int64_t CurrentSize() const override {
        struct stat LStat {};
        return fstat(FFd, &LStat) == 0 ? static_cast<int64_t>(LStat.st_size) : -1;
    }

private:
    int FFd;
};

int OpenOwnedShm(const std::string& AName, int& AError) {
    const int LFd = shm_open(AName.c_str(), O_RDWR, 0);
    if (LFd < 0) {
        AError = errno;
        return -1;
    }
    if (!OwnedByMe(LFd)) {
        close(LFd);
        AError = EACCES;
        return -1;
    }
    return LFd;
}

int CreateOwnedShm(const std::string& AName, size_t ASize, int& AError) {
    const int LFd = shm_open(AName.c_str(), O_RDWR | O_CREAT | O_EXCL, S_IRUSR | S_IWUSR);
    if (LFd < 0) {
        AError = errno;
        return -1;
    }
    if (fchmod(LFd, S_IRUSR | S_IWUSR) != 0 || ftruncate(LFd, static_cast<off_t>(ASize)) != 0) {
        AError = errno;
        close(LFd);
        shm_unlink(AName.c_str());
        return -1;
    }
    return LFd;
}

class TPosixEvent : public TNamedEvent {
public:
    explicit TPosixEvent(sem_t* ASem) : FSem(ASem) {}
    ~TPosixEvent() override { sem_close(FSem); }

    bool SetEvent() override {
        // An event holds one signal at most.
        int LValue = 0;
        if (sem_getvalue(FSem, &LValue) == 0 && LValue > 0)
            return true;
        return sem_post(FSem) == 0;
    }

    TNamedWaitResult WaitFor(uint32_t ATimeoutMs) override {
        const timespec LDeadline = Deadline(ATimeoutMs);
        for (;;) {
            if (sem_timedwait(FSem, &LDeadline) == 0)
                return TNamedWaitResult::nwSignaled;
            if (errno == ETIMEDOUT)
                return TNamedWaitResult::nwTimeout;
            if (errno != EINTR)
                return TNamedWaitResult::nwFailed;
        }
    }

private:
    sem_t* FSem;
};

// glibc keeps a named semaphore as a file in /dev/shm.
bool SemaphoreOwnedByMe(const std::string& AName) {
    struct stat LStat {};
    if (stat(("/dev/shm/sem." + AName.substr(1)).c_str(), &LStat) != 0)
        return true;
    return LStat.st_uid == geteuid();
}

std::unique_ptr<TNamedEvent> OpenEvent(std::string_view AName, int AFlags, int& AError) {
    const std::string LName = PosixName(AName);
    sem_t* LSem = sem_open(LName.c_str(), AFlags, S_IRUSR | S_IWUSR, 0u);
    if (LSem == SEM_FAILED) {
        AError = errno;
        return nullptr;
    }
    if (!SemaphoreOwnedByMe(LName)) {
        sem_close(LSem);
        AError = EACCES;
        return nullptr;
    }
    return std::make_unique<TPosixEvent>(LSem);
}

class TPosixMutex : public TNamedMutex {
public:
    explicit TPosixMutex(std::unique_ptr<TSharedView> AView) : FView(std::move(AView)) {}

    TNamedWaitResult WaitFor(uint32_t ATimeoutMs) override {
        const timespec LDeadline = Deadline(ATimeoutMs);
        const int LResult = pthread_mutex_timedlock(Mutex(), &LDeadline);
        if (LResult == 0)
            return TNamedWaitResult::nwSignaled;
        if (LResult == EOWNERDEAD) {
            pthread_mutex_consistent(Mutex());
            return TNamedWaitResult::nwAbandoned;
        }
        return LResult == ETIMEDOUT ? TNamedWaitResult::nwTimeout : TNamedWaitResult::nwFailed;
    }

    bool Release() override { return pthread_mutex_unlock(Mutex()) == 0; }

private:
    pthread_mutex_t* Mutex() const { return reinterpret_cast<pthread_mutex_t*>(FView->Data()); }
    std::unique_ptr<TSharedView> FView;
};

std::mutex GChildrenLock;
std::vector<pid_t> GChildren;

std::vector<std::string> SplitCommandLine(const std::string& ALine) {
    std::vector<std::string> LArgs;
    std::string LArg;
    bool LInArg = false, LQuoted = false;
    for (const char C : ALine) {
        if (C == '"') {
            LQuoted = !LQuoted;
            LInArg = true;
        } else if (!LQuoted && (C == ' ' || C == '\t')) {
            if (LInArg)
                LArgs.push_back(std::move(LArg));
            LArg.clear();
            LInArg = false;
        } else {
            LArg += C;
            LInArg = true;
        }
    }
    if (LInArg)
        LArgs.push_back(std::move(LArg));
    return LArgs;
}

bool IsExecutableFile(const std::string& APath) {
    struct stat LStat {};
    return stat(APath.c_str(), &LStat) == 0 && S_ISREG(LStat.st_mode) &&
           access(APath.c_str(), X_OK) == 0;
}

std::string FindProgram(const std::string& AName) {
    if (AName.find('/') != std::string::npos)
        return IsExecutableFile(AName) ? AName : std::string();
    const char* LPath = std::getenv("PATH");
    std::string_view LDirs = LPath ? LPath : "";
    while (!LDirs.empty()) {
        const size_t LColon = LDirs.find(':');
        const std::string_view LDir = LDirs.substr(0, LColon);
        LDirs = LColon == std::string_view::npos ? std::string_view() : LDirs.substr(LColon + 1);
        if (LDir.empty())
            continue;
        const std::string LCandidate = std::string(LDir) + "/" + AName;
        if (IsExecutableFile(LCandidate))
            return LCandidate;
    }
    return {};
}
} // namespace

std::unique_ptr<TSharedMemory> OpenSharedMemory(std::string_view AName, int& AError) {
    const int LFd = OpenOwnedShm(PosixName(AName), AError);
    return LFd < 0 ? nullptr : std::make_unique<TPosixSharedMemory>(LFd);
}

std::unique_ptr<TSharedMemory> CreateSharedMemory(std::string_view AName, size_t ASize,
                                                  int& AError) {
    const int LFd = CreateOwnedShm(PosixName(AName), ASize, AError);
    return LFd < 0 ? nullptr : std::make_unique<TPosixSharedMemory>(LFd);
}

const bool CNamesHeldByHandles = false;

void RemoveSharedMemory(std::string_view AName) {
    shm_unlink(PosixName(AName).c_str());
}

std::unique_ptr<TNamedEvent> OpenNamedEvent(std::string_view AName, int& AError) {
    return OpenEvent(AName, 0, AError);
}

std::unique_ptr<TNamedEvent> CreateNamedEvent(std::string_view AName, int& AError) {
    return OpenEvent(AName, O_CREAT, AError);
}

void RemoveNamedEvent(std::string_view AName) {
    sem_unlink(PosixName(AName).c_str());
}

std::unique_ptr<TNamedMutex> OpenNamedMutex(std::string_view AName, int& AError) {
    const int LFd = OpenOwnedShm(PosixName(AName), AError);
    if (LFd < 0)
        return nullptr;
    auto LView = MapFd(LFd, AError);
    close(LFd);
    if (!LView)
        return nullptr;
    if (LView->Size() < sizeof(pthread_mutex_t)) {
        AError = EINVAL;
        return nullptr;
    }
    return std::make_unique<TPosixMutex>(std::move(LView));
}

std::unique_ptr<TNamedMutex> CreateNamedMutex(std::string_view AName, int& AError) {
    const std::string LName = PosixName(AName);
    const int LFd = CreateOwnedShm(LName, sizeof(pthread_mutex_t), AError);
    if (LFd < 0)
        return nullptr;
    auto LView = MapFd(LFd, AError);
    close(LFd);
    pthread_mutexattr_t LAttr;
    bool LOk = LView && pthread_mutexattr_init(&LAttr) == 0;
    if (LOk) {
        LOk = pthread_mutexattr_setpshared(&LAttr, PTHREAD_PROCESS_SHARED) == 0 &&
              pthread_mutexattr_setrobust(&LAttr, PTHREAD_MUTEX_ROBUST) == 0 &&
              pthread_mutex_init(reinterpret_cast<pthread_mutex_t*>(LView->Data()), &LAttr) == 0;
        pthread_mutexattr_destroy(&LAttr);
        if (!LOk)
            AError = EINVAL;
    }
    if (!LOk) {
        shm_unlink(LName.c_str());
        return nullptr;
    }
    return std::make_unique<TPosixMutex>(std::move(LView));
}

void RemoveNamedMutex(std::string_view AName) {
    shm_unlink(PosixName(AName).c_str());
}

std::string SharedObjectErrorText(int AError) {
    return std::strerror(AError);
}

UnicodeString ReadViewerCommandSetting() {
    std::string LPath;
    if (const char* LConfig = std::getenv("XDG_CONFIG_HOME"); LConfig && LConfig[0] == '/')
        LPath = LConfig;
    else if (const char* LHome = std::getenv("HOME"); LHome && *LHome)
        LPath = std::string(LHome) + "/.config";
    else
        return {};
    // Opened without blocking, and only a regular file is read: a FIFO or a
    // device there must not hold up the first message.
    const int LFd = open((LPath + "/scaleprobe/WbDebugViewer").c_str(),
                         O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (LFd < 0)
        return {};
    struct stat LStat {};
    std::string LLine;
    if (fstat(LFd, &LStat) == 0 && S_ISREG(LStat.st_mode)) {
        char LBuffer[4096];
        ssize_t LRead;
        while ((LRead = read(LFd, LBuffer, sizeof(LBuffer))) > 0 || (LRead < 0 && errno == EINTR)) {
            if (LRead < 0)
                continue;
            LLine.append(LBuffer, static_cast<size_t>(LRead));
            if (LLine.find('\n') != std::string::npos || LLine.size() >= 64 * 1024)
                break;
        }
    }
    close(LFd);
    LLine = LLine.substr(0, LLine.find('\n'));
    while (!LLine.empty() && (LLine.back() == '\r' || LLine.back() == ' ' || LLine.back() == '\t'))
        LLine.pop_back();
    return Utf8ToUnicode(LLine);
}

UnicodeString DefaultViewerCommand() {
    return u"WbDebugViewer";
}

namespace {
bool GraphicalSession() {
    for (const char* LName : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* LValue = std::getenv(LName); LValue && *LValue)
            return true;
    return false;
}

// $XDG_STATE_HOME/scaleprobe/WbDebugViewer.log (~/.local/state/... without
// it), its folders made; empty when there is no such place.
std::string ViewerLogPath() {
    std::string LBase;
    if (const char* LState = std::getenv("XDG_STATE_HOME"); LState && LState[0] == '/')
        LBase = LState;
    else if (const char* LHome = std::getenv("HOME"); LHome && *LHome)
        LBase = std::string(LHome) + "/.local/state";
    else
        return {};
    std::string LDir;
    for (size_t LPos = 0; LPos != std::string::npos;) {
        LPos = LBase.find('/', LPos + 1);
        LDir = LBase.substr(0, LPos);
        mkdir(LDir.c_str(), 0700);
    }
    LDir += "/scaleprobe";
    mkdir(LDir.c_str(), 0700);
    return LDir + "/WbDebugViewer.log";
}
} // namespace

namespace {
// A started child; the list above collects its exit status.
class TPosixStartedProgram : public TStartedProgram {
public:
    TPosixStartedProgram(pid_t APid, bool AEndTells) : FPid(APid), FEndTells(AEndTells) {}

    // A named semaphore cannot be waited for together with a process: the
    // wait goes in slices, with a look at the program after each.
    bool WaitForSignalOrEnd(TNamedEvent& AEvent, uint32_t ATimeoutMs) override {
        const auto LDeadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
        for (;;) {
            const auto LLeft = std::chrono::duration_cast<std::chrono::milliseconds>(
                LDeadline - std::chrono::steady_clock::now());
            if (LLeft.count() <= 0)
                return false;
            const auto LSlice = std::min<int64_t>(LLeft.count(), CEndCheckMs);
            if (AEvent.WaitFor(static_cast<uint32_t>(LSlice)) == TNamedWaitResult::nwSignaled)
                return true;
            if (FEndTells && Ended())
                return false;
        }
    }

private:
    static constexpr int64_t CEndCheckMs = 20;

    bool Ended() const {
        std::lock_guard<std::mutex> L(GChildrenLock);
        int LStatus = 0;
        const pid_t LResult = waitpid(FPid, &LStatus, WNOHANG);
        if (LResult != FPid && !(LResult < 0 && errno == ECHILD))
            return false;
        std::erase(GChildren, FPid);
        return true;
    }

    pid_t FPid;
    bool FEndTells;
};
} // namespace

// The started program never shares this process's standard streams: its
// input is /dev/null, its output goes to its own terminal window where a
// graphical session has one, and to the viewer's log file otherwise.
std::unique_ptr<TStartedProgram> StartCommandLine(const AnsiString& ACommandLine) {
    std::vector<std::string> LArgs = SplitCommandLine(ACommandLine);
    if (LArgs.empty())
        return nullptr;
    std::string LProgram = FindProgram(LArgs[0]);
    if (LProgram.empty())
        return nullptr;
    // Some terminal windows hand their program to a server and end at once:
    // their end says nothing of the viewer's.
    bool LEndTells = true;
    if (GraphicalSession()) {
        if (std::string LTerminal = FindProgram("x-terminal-emulator"); !LTerminal.empty()) {
            LArgs[0] = LProgram;
            LArgs.insert(LArgs.begin(), {"x-terminal-emulator", "-e"});
            LProgram = std::move(LTerminal);
            LEndTells = false;
        }
    }
    std::vector<char*> LArgv;
    for (const std::string& LArg : LArgs)
        LArgv.push_back(const_cast<char*>(LArg.c_str()));
    LArgv.push_back(nullptr);

    const std::string LLogPath = ViewerLogPath();
    posix_spawn_file_actions_t LFiles;
    if (posix_spawn_file_actions_init(&LFiles) != 0)
        return nullptr;
    posix_spawn_file_actions_addopen(&LFiles, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&LFiles, 1, LLogPath.empty() ? "/dev/null" : LLogPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&LFiles, 1, 2);

    posix_spawnattr_t LAttr;
    if (posix_spawnattr_init(&LAttr) != 0) {
        posix_spawn_file_actions_destroy(&LFiles);
        return nullptr;
    }
    sigset_t LNoSignals, LDefaults;
    sigemptyset(&LNoSignals);
    sigemptyset(&LDefaults);
    for (const int LSignal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD})
        sigaddset(&LDefaults, LSignal);
    posix_spawnattr_setsigmask(&LAttr, &LNoSignals);
    posix_spawnattr_setsigdefault(&LAttr, &LDefaults);
    posix_spawnattr_setflags(&LAttr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t LPid = 0;
    const int LResult =
        posix_spawn(&LPid, LProgram.c_str(), &LFiles, &LAttr, LArgv.data(), environ);
    posix_spawnattr_destroy(&LAttr);
    posix_spawn_file_actions_destroy(&LFiles);
    if (LResult != 0)
        return nullptr;
    std::lock_guard<std::mutex> L(GChildrenLock);
    GChildren.push_back(LPid);
    return std::make_unique<TPosixStartedProgram>(LPid, LEndTells);
}

void ReapStartedPrograms() {
    std::lock_guard<std::mutex> L(GChildrenLock);
    std::erase_if(GChildren, [](pid_t APid) {
        int LStatus = 0;
        const pid_t LResult = waitpid(APid, &LStatus, WNOHANG);
        return LResult == APid || (LResult < 0 && errno == ECHILD);
    });
}

namespace {
// The fields of /proc/PID/stat after the program's name (which may hold
// blanks and parentheses): the state first; empty when there is none.
std::string StatFields(pid_t APid) {
    std::ifstream LStat("/proc/" + std::to_string(APid) + "/stat");
    std::string LLine;
    if (!LStat || !std::getline(LStat, LLine))
        return {};
    const size_t LParen = LLine.rfind(')');
    return LParen == std::string::npos || LParen + 2 >= LLine.size() ? std::string()
                                                                     : LLine.substr(LParen + 2);
}
} // namespace

bool ProcessAlive(uint32_t AProcessId) {
    const auto LPid = static_cast<pid_t>(AProcessId);
    if (LPid <= 0 || (kill(LPid, 0) != 0 && errno != EPERM))
        return false;
    // An ended process whose parent has not collected it yet still answers kill.
    const std::string LFields = StatFields(LPid);
    return LFields.empty() || LFields[0] != 'Z';
}

// Field 22 of /proc/PID/stat: clock ticks from boot to the start.
uint64_t ProcessStartTime(uint32_t AProcessId) {
    const auto LPid = static_cast<pid_t>(AProcessId);
    if (LPid <= 0 || !ProcessAlive(AProcessId))
        return 0;
    std::istringstream LFields(StatFields(LPid));
    std::string LField;
    for (int I = 3; I < 22 && LFields >> LField; ++I) {
    }
    uint64_t LStart = 0;
    return LFields >> LStart ? LStart : 0;
}
