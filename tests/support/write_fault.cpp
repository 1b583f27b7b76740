#include "support/write_fault.h"

#include <csignal>
#include <cstring>
#include <stdexcept>
#include <sys/resource.h>

namespace {

rlimit savedLimit;
struct sigaction savedAction;
volatile std::sig_atomic_t fired = 0;
volatile std::sig_atomic_t liftOnFire = 0;

// The kernel raises SIGXFSZ and then fails the write; lifting the limit
// here lets every later write through.
void OnFileSizeExceeded(int)
{
    fired = 1;
    if (liftOnFire)
        setrlimit(RLIMIT_FSIZE, &savedLimit);
}

}  // namespace

WriteFaultAt::WriteFaultAt(off_t offset, bool once)
{
    if (getrlimit(RLIMIT_FSIZE, &savedLimit) != 0)
        throw std::runtime_error("getrlimit failed");
    fired = 0;
    liftOnFire = once ? 1 : 0;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnFileSizeExceeded;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGXFSZ, &action, &savedAction) != 0)
        throw std::runtime_error("sigaction failed");
    rlimit limit = savedLimit;
    limit.rlim_cur = static_cast<rlim_t>(offset);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
        throw std::runtime_error("setrlimit failed");
}

WriteFaultAt::~WriteFaultAt()
{
    setrlimit(RLIMIT_FSIZE, &savedLimit);
    sigaction(SIGXFSZ, &savedAction, nullptr);
}

bool WriteFaultAt::Fired() const { return fired != 0; }
