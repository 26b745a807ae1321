#include "platform/Queues.h"
namespace nimbla::platform {
void dispatchMainAsync(Task) {}
void dispatchBackgroundAsync(Task) {}
void waitForBackgroundIdle() {}
RunLoop& mainRunLoop() { static RunLoop r; return r; }
}
