// Origins through WebKit's own parser, so Tavro and the engine never disagree on one.
#include "site_origin.h"

#include <webkit2/webkit2.h>

#include <memory>

#include "owners.h"

namespace tavro::platform::gtk {
namespace {

struct OriginUnref {
  void operator()(WebKitSecurityOrigin* origin) const { webkit_security_origin_unref(origin); }
};
using OriginPtr = std::unique_ptr<WebKitSecurityOrigin, OriginUnref>;

OriginPtr OriginFor(const std::string& uri) {
  return OriginPtr(uri.empty() ? nullptr : webkit_security_origin_new_for_uri(uri.c_str()));
}

}  // namespace

bool IsWebScheme(const char* scheme) {
  return scheme && (g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0);
}

bool SameWebOrigin(const std::string& a, const std::string& b) {
  const OriginPtr oa = OriginFor(a), ob = OriginFor(b);
  if (!oa || !ob) return false;
  const char* pa = webkit_security_origin_get_protocol(oa.get());
  const char* pb = webkit_security_origin_get_protocol(ob.get());
  const char* ha = webkit_security_origin_get_host(oa.get());
  const char* hb = webkit_security_origin_get_host(ob.get());
  return IsWebScheme(pa) && IsWebScheme(pb) && g_ascii_strcasecmp(pa, pb) == 0 && ha && hb && *ha &&
         g_ascii_strcasecmp(ha, hb) == 0 &&
         webkit_security_origin_get_port(oa.get()) == webkit_security_origin_get_port(ob.get());
}

std::string WebOriginOf(const std::string& uri) {
  const OriginPtr origin = OriginFor(uri);
  if (!origin || !IsWebScheme(webkit_security_origin_get_protocol(origin.get()))) return {};
  const GCharPtr text(webkit_security_origin_to_string(origin.get()));
  return text ? text.get() : "";
}

bool OpenableWebAddress(const std::string& uri) {
  // The engine's parser gives an address it cannot open no origin of the web.
  const OriginPtr origin = OriginFor(uri);
  const char* host = origin ? webkit_security_origin_get_host(origin.get()) : nullptr;
  return origin && IsWebScheme(webkit_security_origin_get_protocol(origin.get())) && host && *host;
}

}  // namespace tavro::platform::gtk
