// The five functions the host finds by name.
#include <cstring>

#include "module/class_table.h"
#include "framework/interface_record.h"

namespace vx {
namespace {

struct ClassInfoFill {
  std::uint32_t count = 0;
  ClassInfoRecord* next = nullptr;
};

Status CountClass(const Guid&, std::uint32_t, std::int32_t, CreateFn, DestroyFn, void* context) {
  ++static_cast<ClassInfoFill*>(context)->count;
  return 0;
}

Status CountInterface(const Guid&, std::uint32_t, const Guid&, std::uint32_t, InterfaceBuilder,
                      void* context) {
  ++static_cast<ClassInfoFill*>(context)->count;
  return 0;
}

Status FillClass(const Guid& classId, std::uint32_t classVersion, std::int32_t, CreateFn,
                 DestroyFn, void* context) {
  auto* fill = static_cast<ClassInfoFill*>(context);
  *fill->next++ = {classId, classVersion, kUnknownInterfaceId, 1};
  return 0;
}

Status FillInterface(const Guid& classId, std::uint32_t classVersion, const Guid& interfaceId,
                     std::uint32_t interfaceVersion, InterfaceBuilder, void* context) {
  auto* fill = static_cast<ClassInfoFill*>(context);
  *fill->next++ = {classId, classVersion, interfaceId, interfaceVersion};
  return 0;
}

struct ClassFormQuery {
  std::int32_t* instanceSize;
  CreateFn* create;
  DestroyFn* destroy;
  bool found = false;
};

Status AnswerClassForm(const Guid&, std::uint32_t, std::int32_t instanceSize, CreateFn create,
                       DestroyFn destroy, void* context) {
  auto* query = static_cast<ClassFormQuery*>(context);
  *query->instanceSize = instanceSize;
  *query->create = create;
  *query->destroy = destroy;
  query->found = true;
  return 1;
}

struct InterfaceQuery {
  void* instance;
  const Guid* interfaceId;
  void** out;
  Status status = kNoInterface;
};

Status AnswerInterface(const Guid&, std::uint32_t, const Guid& interfaceId, std::uint32_t,
                       InterfaceBuilder builder, void* context) {
  auto* query = static_cast<InterfaceQuery*>(context);
  if (!(interfaceId == *query->interfaceId)) return 0;
  query->status = builder(query->instance, query->out);
  return 1;
}

}  // namespace
}  // namespace vx

using namespace vx;

extern "C" {

VX_EXPORT Status VX_CALL DllGetClassInfo(HostAllocator* allocator, ClassInfoRecord** out) {
  if (allocator == nullptr) {
    *out = nullptr;
    return kOutOfMemory;
  }
  ClassInfoFill fill;
  WalkClassTable(nullptr, &CountClass, &CountInterface, &fill);
  void* block = allocator->ops->Alloc(
      allocator, static_cast<std::uint32_t>((fill.count + 1) * sizeof(ClassInfoRecord)));
  if (block == nullptr) {
    *out = nullptr;
    return kOutOfMemory;
  }
  auto* records = static_cast<ClassInfoRecord*>(block);
  fill.next = records;
  WalkClassTable(nullptr, &FillClass, &FillInterface, &fill);
  // The terminator's version words are left as the allocator gave them.
  std::memset(&fill.next->classId, 0, sizeof(Guid));
  std::memset(&fill.next->interfaceId, 0, sizeof(Guid));
  *out = records;
  return kOk;
}

VX_EXPORT Status VX_CALL DllGetClassForm(const Guid* classId, std::int32_t* instanceSize,
                                         CreateFn* create, DestroyFn* destroy) {
  ClassFormQuery query{instanceSize, create, destroy};
  WalkClassTable(classId, &AnswerClassForm, nullptr, &query);
  return query.found ? kOk : kNoClass;
}

VX_EXPORT Status VX_CALL DllGetInterface(void* instance, const Guid* classId,
                                         const Guid* interfaceId, void** out) {
  InterfaceQuery query{instance, interfaceId, out};
  WalkClassTable(classId, nullptr, &AnswerInterface, &query);
  return query.status;
}

VX_EXPORT Status VX_CALL DllGetClassObject(const Guid*, const Guid*, void**) { return kNoClass; }

VX_EXPORT Status VX_CALL DllCanUnloadNow(void) {
  return LiveRecordCount() == 0 ? kOk : kCannotUnload;
}

}  // extern "C"
