// A module with one deliberate fault, for the validator's tests: it passes
// every export through to the real module and patches one operation of the
// effect interface (a copy of each effect table; the real tables stay as
// they are). VX_FAULT picks the fault:
//   1 SetProperties leaks a block of the services' allocator
//   2 Render writes one byte past the end of the destination's top row
//   3 CallFunction answers 0 for a function the effect lacks
#include <dlfcn.h>

#include <cstdlib>

#include "vornix/abi.h"

using namespace vx;

namespace {

struct Real {
  DllGetClassInfoFn getClassInfo;
  DllGetClassFormFn getClassForm;
  DllGetInterfaceFn getInterface;
  DllGetClassObjectFn getClassObject;
  DllCanUnloadNowFn canUnloadNow;
};

const Real& RealModule() {
  static const Real real = [] {
    void* library = dlopen(VX_REAL_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) std::abort();
    return Real{reinterpret_cast<DllGetClassInfoFn>(dlsym(library, "DllGetClassInfo")),
                reinterpret_cast<DllGetClassFormFn>(dlsym(library, "DllGetClassForm")),
                reinterpret_cast<DllGetInterfaceFn>(dlsym(library, "DllGetInterface")),
                reinterpret_cast<DllGetClassObjectFn>(dlsym(library, "DllGetClassObject")),
                reinterpret_cast<DllCanUnloadNowFn>(dlsym(library, "DllCanUnloadNow"))};
  }();
  return real;
}

// Patched copies of the real effect tables, each with the real one it copies.
struct Patch {
  const EffectOps* real;
  EffectOps copy;
};
Patch patches[16];
int patchCount = 0;

const EffectOps& RealOps(EffectInterface* self) {
  for (int i = 0; i < patchCount; ++i)
    if (&patches[i].copy == self->ops) return *patches[i].real;
  std::abort();
}

[[maybe_unused]] Status VX_CALL LeakingSetProperties(EffectInterface* self, const HostValue* list, Word a, Word b,
                                                     Services* services, std::int32_t* restarted, std::int32_t* changed) {
  const Status status = RealOps(self).SetProperties(self, list, a, b, services, restarted, changed);
  services->allocator->ops->Alloc(services->allocator, 16);
  return status;
}

[[maybe_unused]] Status VX_CALL OverrunningRender(EffectInterface* self, PixelView* dst, PixelView* src, AreaRect* update,
                                                  PixelView* mask, const std::uint16_t* runs, ColourTable* colours,
                                                  std::int32_t blend, std::int32_t draw, std::int32_t align,
                                                  std::int32_t hardMask, ThresholdRecord* thresholds) {
  const Status status =
      RealOps(self).Render(self, dst, src, update, mask, runs, colours, blend, draw, align, hardMask, thresholds);
  std::int32_t viewStatus = 0;
  std::uint8_t* top = dst->ops->TopRowAddress(dst, &viewStatus);
  if (top != nullptr && viewStatus == 0) top[(dst->bounds.right - dst->bounds.left) * dst->bytesPerPixel] ^= 0xFF;
  return status;
}

[[maybe_unused]] Status VX_CALL MisreportingCallFunction(EffectInterface* self, Symbol function, const HostValue* args,
                                                         std::int32_t count, std::int32_t first, HostValue* result,
                                                         Services* services, std::int32_t* restarted,
                                                         std::int32_t* changed) {
  const Status status =
      RealOps(self).CallFunction(self, function, args, count, first, result, services, restarted, changed);
  return status == kNoSuchFunction ? kOk : status;
}

const EffectOps* Patched(const EffectOps* real) {
  for (int i = 0; i < patchCount; ++i)
    if (patches[i].real == real) return &patches[i].copy;
  if (patchCount == 16) std::abort();
  Patch& p = patches[patchCount++];
  p.real = real;
  p.copy = *real;
#if VX_FAULT == 1
  p.copy.SetProperties = &LeakingSetProperties;
#elif VX_FAULT == 2
  p.copy.Render = &OverrunningRender;
#elif VX_FAULT == 3
  p.copy.CallFunction = &MisreportingCallFunction;
#endif
  return &p.copy;
}

}  // namespace

extern "C" {

VX_EXPORT Status VX_CALL DllGetClassInfo(HostAllocator* allocator, ClassInfoRecord** out) {
  return RealModule().getClassInfo(allocator, out);
}
VX_EXPORT Status VX_CALL DllGetClassForm(const Guid* classId, std::int32_t* size, CreateFn* create, DestroyFn* destroy) {
  return RealModule().getClassForm(classId, size, create, destroy);
}
VX_EXPORT Status VX_CALL DllGetInterface(void* instance, const Guid* classId, const Guid* interfaceId, void** out) {
  const Status status = RealModule().getInterface(instance, classId, interfaceId, out);
  if (status == kOk && *interfaceId == kEffectInterfaceId) {
    auto* effect = static_cast<EffectInterface*>(*out);
    effect->ops = Patched(effect->ops);
  }
  return status;
}
VX_EXPORT Status VX_CALL DllGetClassObject(const Guid* a, const Guid* b, void** c) {
  return RealModule().getClassObject(a, b, c);
}
VX_EXPORT Status VX_CALL DllCanUnloadNow() { return RealModule().canUnloadNow(); }

}  // extern "C"
