#pragma once

// Stand-ins for the node's management processes: child processes named
// "Tomcat", "vldb", "hamgr" and "tolmauthd" (their process names, as the
// status files under /proc show them), each holding a different amount of
// touched memory, sleeping until stopped. They also end when their parent
// does.
class SimMgmtProcs {
public:
    // Starts the four children; false if one could not be started.
    static bool start();
    // Ends and reaps them.
    static void stop();
    // The process id of child `i` (0 when not running).
    static int pid(int i);
    static constexpr int kCount = 4;
    static const char* const kNames[kCount];
};
