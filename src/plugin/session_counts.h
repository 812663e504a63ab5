// For tests: how many sessions this process has created and freed, so that
// a test can check every session is freed exactly once. Hidden like every
// internal symbol; the plug-in does not export them.
#pragma once

long session_count_created();
long session_count_freed();
