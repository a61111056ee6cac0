// An EGL vendor with displays that initialise and offer no configuration: what the engine needs of
// EGL when it draws in software, without loading a GL driver. A context or a surface is refused,
// so WebGL and GL video sinks are unavailable.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <glvnd/libeglabi.h>

#include <cstring>

namespace {

// Every display asked for is this one; it holds nothing.
int theDisplay;
thread_local EGLint lastError = EGL_SUCCESS;

EGLBoolean Fail(EGLint error) {
  lastError = error;
  return EGL_FALSE;
}

bool Ours(EGLDisplay display) { return display == static_cast<EGLDisplay>(&theDisplay); }

EGLDisplay GetPlatformDisplay(EGLenum /*platform*/, void* /*native*/, const EGLAttrib* /*attributes*/) {
  return static_cast<EGLDisplay>(&theDisplay);
}

EGLBoolean SupportsApi(EGLenum api) { return api == EGL_OPENGL_ES_API || api == EGL_OPENGL_API; }

const char* VendorString(int name) {
  // The platforms the engine may ask for a display of; any of them gets the one display.
  return name == __EGL_VENDOR_STRING_PLATFORM_EXTENSIONS
             ? "EGL_EXT_platform_base EGL_KHR_platform_x11 EGL_EXT_platform_x11 EGL_KHR_platform_wayland "
               "EGL_EXT_platform_wayland EGL_KHR_platform_gbm EGL_MESA_platform_gbm "
               "EGL_MESA_platform_surfaceless"
             : nullptr;
}

EGLBoolean EGLAPIENTRY Initialize(EGLDisplay display, EGLint* major, EGLint* minor) {
  if (!Ours(display)) return Fail(EGL_BAD_DISPLAY);
  if (major) *major = 1;
  if (minor) *minor = 5;
  return EGL_TRUE;
}

EGLBoolean EGLAPIENTRY Terminate(EGLDisplay display) {
  return Ours(display) ? EGL_TRUE : Fail(EGL_BAD_DISPLAY);
}

const char* EGLAPIENTRY QueryString(EGLDisplay display, EGLint name) {
  if (!Ours(display)) {
    lastError = EGL_BAD_DISPLAY;
    return nullptr;
  }
  switch (name) {
    case EGL_VENDOR:
      return "Tavro (no GL)";
    case EGL_VERSION:
      return "1.5";
    case EGL_EXTENSIONS:
    case EGL_CLIENT_APIS:
      return "";
    default:
      lastError = EGL_BAD_PARAMETER;
      return nullptr;
  }
}

EGLBoolean EGLAPIENTRY GetConfigs(EGLDisplay display, EGLConfig* /*configs*/, EGLint /*size*/,
                                  EGLint* count) {
  if (!Ours(display)) return Fail(EGL_BAD_DISPLAY);
  if (!count) return Fail(EGL_BAD_PARAMETER);
  *count = 0;
  return EGL_TRUE;
}

EGLBoolean EGLAPIENTRY ChooseConfig(EGLDisplay display, const EGLint* /*attributes*/, EGLConfig* configs,
                                    EGLint size, EGLint* count) {
  return GetConfigs(display, configs, size, count);
}

EGLBoolean EGLAPIENTRY GetConfigAttrib(EGLDisplay, EGLConfig, EGLint, EGLint*) {
  return Fail(EGL_BAD_CONFIG);
}

EGLContext EGLAPIENTRY CreateContext(EGLDisplay, EGLConfig, EGLContext, const EGLint*) {
  lastError = EGL_BAD_CONFIG;
  return EGL_NO_CONTEXT;
}

EGLSurface EGLAPIENTRY CreateWindowSurface(EGLDisplay, EGLConfig, EGLNativeWindowType, const EGLint*) {
  lastError = EGL_BAD_CONFIG;
  return EGL_NO_SURFACE;
}

EGLSurface EGLAPIENTRY CreatePbufferSurface(EGLDisplay, EGLConfig, const EGLint*) {
  lastError = EGL_BAD_CONFIG;
  return EGL_NO_SURFACE;
}

EGLSurface EGLAPIENTRY CreatePlatformWindowSurface(EGLDisplay, EGLConfig, void*, const EGLAttrib*) {
  lastError = EGL_BAD_CONFIG;
  return EGL_NO_SURFACE;
}

// Nothing was made: whatever names a context, a surface or a sync object names none of ours.
EGLBoolean EGLAPIENTRY DestroyContext(EGLDisplay, EGLContext) { return Fail(EGL_BAD_CONTEXT); }
EGLBoolean EGLAPIENTRY DestroySurface(EGLDisplay, EGLSurface) { return Fail(EGL_BAD_SURFACE); }
EGLBoolean EGLAPIENTRY QuerySurface(EGLDisplay, EGLSurface, EGLint, EGLint*) { return Fail(EGL_BAD_SURFACE); }
EGLBoolean EGLAPIENTRY QueryContext(EGLDisplay, EGLContext, EGLint, EGLint*) { return Fail(EGL_BAD_CONTEXT); }
EGLBoolean EGLAPIENTRY SwapBuffers(EGLDisplay, EGLSurface) { return Fail(EGL_BAD_SURFACE); }

EGLSurface EGLAPIENTRY CreatePixmapSurface(EGLDisplay, EGLConfig, EGLNativePixmapType, const EGLint*) {
  lastError = EGL_BAD_CONFIG;
  return EGL_NO_SURFACE;
}

EGLSurface EGLAPIENTRY CreatePlatformPixmapSurface(EGLDisplay, EGLConfig, void*, const EGLAttrib*) {
  lastError = EGL_BAD_CONFIG;
  return EGL_NO_SURFACE;
}

EGLSurface EGLAPIENTRY CreatePbufferFromClientBuffer(EGLDisplay, EGLenum, EGLClientBuffer, EGLConfig,
                                                     const EGLint*) {
  lastError = EGL_BAD_CONFIG;
  return EGL_NO_SURFACE;
}

EGLBoolean EGLAPIENTRY CopyBuffers(EGLDisplay, EGLSurface, EGLNativePixmapType) {
  return Fail(EGL_BAD_SURFACE);
}
EGLBoolean EGLAPIENTRY SurfaceAttrib(EGLDisplay, EGLSurface, EGLint, EGLint) { return Fail(EGL_BAD_SURFACE); }
EGLBoolean EGLAPIENTRY BindTexImage(EGLDisplay, EGLSurface, EGLint) { return Fail(EGL_BAD_SURFACE); }
EGLBoolean EGLAPIENTRY ReleaseTexImage(EGLDisplay, EGLSurface, EGLint) { return Fail(EGL_BAD_SURFACE); }
EGLBoolean EGLAPIENTRY SwapInterval(EGLDisplay, EGLint) { return Fail(EGL_BAD_CONTEXT); }
EGLBoolean EGLAPIENTRY WaitNative(EGLint) { return EGL_TRUE; }

EGLSync EGLAPIENTRY CreateSync(EGLDisplay, EGLenum, const EGLAttrib*) {
  lastError = EGL_BAD_MATCH;
  return EGL_NO_SYNC;
}
EGLBoolean EGLAPIENTRY DestroySync(EGLDisplay, EGLSync) { return Fail(EGL_BAD_PARAMETER); }
EGLint EGLAPIENTRY ClientWaitSync(EGLDisplay, EGLSync, EGLint, EGLTime) {
  return static_cast<EGLint>(Fail(EGL_BAD_PARAMETER));
}
EGLBoolean EGLAPIENTRY GetSyncAttrib(EGLDisplay, EGLSync, EGLint, EGLAttrib*) {
  return Fail(EGL_BAD_PARAMETER);
}
EGLBoolean EGLAPIENTRY WaitSync(EGLDisplay, EGLSync, EGLint) { return Fail(EGL_BAD_PARAMETER); }

EGLImage EGLAPIENTRY CreateImage(EGLDisplay, EGLContext, EGLenum, EGLClientBuffer, const EGLAttrib*) {
  lastError = EGL_BAD_MATCH;
  return EGL_NO_IMAGE;
}
EGLBoolean EGLAPIENTRY DestroyImage(EGLDisplay, EGLImage) { return Fail(EGL_BAD_PARAMETER); }

EGLBoolean EGLAPIENTRY MakeCurrent(EGLDisplay display, EGLSurface draw, EGLSurface read, EGLContext context) {
  if (!Ours(display)) return Fail(EGL_BAD_DISPLAY);
  // Only releasing the current context, which there never is.
  if (context != EGL_NO_CONTEXT) return Fail(EGL_BAD_CONTEXT);
  if (draw != EGL_NO_SURFACE || read != EGL_NO_SURFACE) return Fail(EGL_BAD_MATCH);
  return EGL_TRUE;
}

EGLint EGLAPIENTRY GetError() {
  const EGLint error = lastError;
  lastError = EGL_SUCCESS;
  return error;
}

EGLBoolean EGLAPIENTRY BindApi(EGLenum api) { return SupportsApi(api) ? EGL_TRUE : Fail(EGL_BAD_PARAMETER); }
EGLenum EGLAPIENTRY QueryApi() { return EGL_OPENGL_ES_API; }
EGLBoolean EGLAPIENTRY NothingToDo() { return EGL_TRUE; }

void* ProcAddress(const char* name);

struct Entry {
  const char* name;
  void* function;
};

template <typename F>
void* AsPointer(F* function) {
  return reinterpret_cast<void*>(function);
}

void* ProcAddress(const char* name) {
  static const Entry kEntries[] = {
      {"eglInitialize", AsPointer(Initialize)},
      {"eglTerminate", AsPointer(Terminate)},
      {"eglQueryString", AsPointer(QueryString)},
      {"eglGetConfigs", AsPointer(GetConfigs)},
      {"eglChooseConfig", AsPointer(ChooseConfig)},
      {"eglGetConfigAttrib", AsPointer(GetConfigAttrib)},
      {"eglCreateContext", AsPointer(CreateContext)},
      {"eglDestroyContext", AsPointer(DestroyContext)},
      {"eglQueryContext", AsPointer(QueryContext)},
      {"eglCreateWindowSurface", AsPointer(CreateWindowSurface)},
      {"eglCreatePbufferSurface", AsPointer(CreatePbufferSurface)},
      {"eglCreatePlatformWindowSurface", AsPointer(CreatePlatformWindowSurface)},
      {"eglDestroySurface", AsPointer(DestroySurface)},
      {"eglQuerySurface", AsPointer(QuerySurface)},
      {"eglSwapBuffers", AsPointer(SwapBuffers)},
      {"eglMakeCurrent", AsPointer(MakeCurrent)},
      {"eglGetError", AsPointer(GetError)},
      {"eglBindAPI", AsPointer(BindApi)},
      {"eglQueryAPI", AsPointer(QueryApi)},
      {"eglReleaseThread", AsPointer(NothingToDo)},
      {"eglWaitClient", AsPointer(NothingToDo)},
      {"eglWaitGL", AsPointer(NothingToDo)},
      {"eglCreatePixmapSurface", AsPointer(CreatePixmapSurface)},
      {"eglCreatePlatformPixmapSurface", AsPointer(CreatePlatformPixmapSurface)},
      {"eglCreatePbufferFromClientBuffer", AsPointer(CreatePbufferFromClientBuffer)},
      {"eglCopyBuffers", AsPointer(CopyBuffers)},
      {"eglSurfaceAttrib", AsPointer(SurfaceAttrib)},
      {"eglBindTexImage", AsPointer(BindTexImage)},
      {"eglReleaseTexImage", AsPointer(ReleaseTexImage)},
      {"eglSwapInterval", AsPointer(SwapInterval)},
      {"eglWaitNative", AsPointer(WaitNative)},
      {"eglCreateSync", AsPointer(CreateSync)},
      {"eglDestroySync", AsPointer(DestroySync)},
      {"eglClientWaitSync", AsPointer(ClientWaitSync)},
      {"eglGetSyncAttrib", AsPointer(GetSyncAttrib)},
      {"eglWaitSync", AsPointer(WaitSync)},
      {"eglCreateImage", AsPointer(CreateImage)},
      {"eglDestroyImage", AsPointer(DestroyImage)},
      {"eglGetProcAddress", AsPointer(ProcAddress)},
  };
  for (const Entry& entry : kEntries)
    if (std::strcmp(entry.name, name) == 0) return entry.function;
  return nullptr;  // no GL function and no other extension
}

void* NoDispatchAddress(const char* /*name*/) { return nullptr; }
void NoDispatchIndex(const char* /*name*/, int /*index*/) {}

}  // namespace

extern "C" __attribute__((visibility("default"))) EGLBoolean __egl_Main(uint32_t version,
                                                                        const __EGLapiExports* /*exports*/,
                                                                        __EGLvendorInfo* /*vendor*/,
                                                                        __EGLapiImports* imports) {
  if (EGL_VENDOR_ABI_GET_MAJOR_VERSION(version) != EGL_VENDOR_ABI_MAJOR_VERSION) return EGL_FALSE;
  imports->getPlatformDisplay = GetPlatformDisplay;
  imports->getSupportsAPI = SupportsApi;
  imports->getVendorString = VendorString;
  imports->getProcAddress = ProcAddress;
  imports->getDispatchAddress = NoDispatchAddress;
  imports->setDispatchIndex = NoDispatchIndex;
  return EGL_TRUE;
}
