#include "platform/NotificationCenter.h"
namespace nimbla::platform {
struct NotificationCenter::Impl {};
NotificationCenter::Token NotificationCenter::addObserver(std::string_view, Observer) { return 0; }
void NotificationCenter::removeObserver(Token) {}
void NotificationCenter::post(std::string_view) {}
NotificationCenter& NotificationCenter::defaultCenter() { static NotificationCenter c; return c; }
}
