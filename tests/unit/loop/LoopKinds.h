// The loop backends that the backend-independent loop tests run against.
#pragma once

#include "platform/MessageLoop.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#ifdef _WIN32
#include "platform/MessageLoop_win32.h"
using TLoopKinds = ::testing::Types<THeadlessLoop, TWin32MessageLoop>;
#else
using TLoopKinds = ::testing::Types<THeadlessLoop>;
#endif

struct TLoopKindNames {
    template <class TLoop> static std::string GetName(int) {
        return std::is_same_v<TLoop, THeadlessLoop> ? "Headless" : "Win32";
    }
};
