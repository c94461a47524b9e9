// Stop requests: a request noted by a program that then never looks at it (a frame that
// hangs in a driver, a wait on a child) still ends the process, as the request would have,
// once its grace time has passed; a program that acts on it in time ends as it chooses.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "runtime/os/os.h"

namespace {

TEST(StopRequests, AnUnansweredRequestEndsTheProcessAfterItsGrace) {
  const struct {
    const char* name;
    bool answers;  // the child acts on the request itself
  } cases[] = {{"answered", true}, {"never looked at", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const pid_t child = fork();
    if (child == 0) {
      os::catch_stop_requests(false, /*grace_seconds=*/1);
      raise(SIGTERM);
      if (c.answers) _exit(os::stop_request() == SIGTERM ? 7 : 8);
      for (int i = 0; i < 30; ++i) sleep(1);  // hangs
      _exit(9);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (c.answers) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << status;
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    }
  }
}

}  // namespace
