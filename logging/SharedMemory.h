// Named shared memory, a named mutex and named events for the debug channel,
// and the start of the viewer program. Callers name the objects as the channel
// knows them ("Local\WbDebugMap"); each backend carries a name into its own
// namespace of named objects, per user.
#pragma once

#include "platform/Text.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

enum class TNamedWaitResult { nwSignaled, nwAbandoned, nwTimeout, nwFailed };

// A mapped view of a shared memory object.
class TSharedView {
public:
    virtual ~TSharedView() = default;
    virtual uint8_t* Data() const = 0;
    // The bytes actually mapped.
    virtual size_t Size() const = 0;
};

// An opened shared memory object, not yet mapped.
class TSharedMemory {
public:
    virtual ~TSharedMemory() = default;
    // Maps the whole object as large as it is now; null and AError on failure.
    virtual std::unique_ptr<TSharedView> MapView(int& AError) = 0;
    // The object's size now, which its creator may have changed since it was
    // mapped; -1 when it cannot be told.
    virtual int64_t CurrentSize() const = 0;
};

// An automatic-reset event: a wait consumes the signal.
class TNamedEvent {
public:
    virtual ~TNamedEvent() = default;
    virtual bool SetEvent() = 0;
    virtual TNamedWaitResult WaitFor(uint32_t ATimeoutMs) = 0;
};

class TNamedMutex {
public:
    virtual ~TNamedMutex() = default;
    // nwAbandoned: the last owner died holding it; the caller owns it now.
    virtual TNamedWaitResult WaitFor(uint32_t ATimeoutMs) = 0;
    virtual bool Release() = 0;
};

// Opening fails (null, AError set) when the object does not exist or does not
// belong to the current user. Creating makes a new object readable and
// writable by the current user only; it fails with the error of an existing
// one, except for events, which are opened when they exist.
std::unique_ptr<TSharedMemory> OpenSharedMemory(std::string_view AName, int& AError);
std::unique_ptr<TSharedMemory> CreateSharedMemory(std::string_view AName, size_t ASize,
                                                  int& AError);
std::unique_ptr<TNamedEvent> OpenNamedEvent(std::string_view AName, int& AError);
std::unique_ptr<TNamedEvent> CreateNamedEvent(std::string_view AName, int& AError);
std::unique_ptr<TNamedMutex> OpenNamedMutex(std::string_view AName, int& AError);
std::unique_ptr<TNamedMutex> CreateNamedMutex(std::string_view AName, int& AError);

// Remove a name, so that nothing is left behind; open handles stay usable.
// Where the system frees an object with its last handle these do nothing.
// True there: a name lives as long as any process holds the object.
extern const bool CNamesHeldByHandles;
void RemoveSharedMemory(std::string_view AName);
void RemoveNamedEvent(std::string_view AName);
void RemoveNamedMutex(std::string_view AName);

// The text of an error the functions above set, in UTF-8.
std::string SharedObjectErrorText(int AError);

// The current user's setting for the viewer's command; empty when none.
UnicodeString ReadViewerCommandSetting();
// The viewer's command when the setting is absent.
UnicodeString DefaultViewerCommand();
// A program that StartCommandLine started; it runs on when this is freed.
class TStartedProgram {
public:
    virtual ~TStartedProgram() = default;
    // Waits at most ATimeoutMs for AEvent, and no longer once the program has
    // ended (where its end tells: a terminal window may hand its program on
    // and end at once). True when the event came.
    virtual bool WaitForSignalOrEnd(TNamedEvent& AEvent, uint32_t ATimeoutMs) = 0;
};

// Starts a command line as a new process, without a shell; null when it does
// not run.
std::unique_ptr<TStartedProgram> StartCommandLine(const AnsiString& ACommandLine);
// Collects the exit status of started programs that have ended, without waiting.
void ReapStartedPrograms();

// The process with this id still runs.
bool ProcessAlive(uint32_t AProcessId);
// When the running process with this id started, in the system's own units:
// with its id it names one process, also after the id has been given to
// another. 0 when it does not run or cannot be told.
uint64_t ProcessStartTime(uint32_t AProcessId);
