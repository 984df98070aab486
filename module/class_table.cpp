#include "module/class_table.h"

#include <cstring>

#include "effects/colour/hsb.h"
#include "effects/colour/rgb.h"
#include "effects/geometric/magnify.h"
#include "effects/geometric/rotate.h"
#include "effects/geometric/swirl.h"
#include "effects/noise/pointel.h"
#include "effects/noise/snow.h"
#include "effects/pattern/lineskip.h"
#include "effects/pattern/mosaic.h"
#include "module/registration.h"

namespace vx {
namespace {

struct ClassRow {
  const Guid* classId;
  std::uint32_t classVersion;
  std::int32_t instanceSize;
  CreateFn create;
  DestroyFn destroy;
  const Guid* interfaceId;
  std::uint32_t interfaceVersion;
  InterfaceBuilder builder;
};

template <class Effect>
constexpr ClassRow EffectRow(const Guid& classId) {
  using Class = EffectClass<Effect>;
  return {&classId,           1, Class::kInstanceSize,  &Class::Create, &Class::Destroy,
          &kEffectInterfaceId, 1, &Class::BuildInterface};
}

const ClassRow kClassTable[kClassCount] = {
    {&kRegistrationClassId, 1, registration::kInstanceSize, &registration::Create,
     &registration::Destroy, &kRegistrationInterfaceId, 1, &registration::BuildInterface},
    EffectRow<RgbShift>(kRgbClassId),
    EffectRow<Magnify>(kMagnifyClassId),
    EffectRow<Rotate>(kRotateClassId),
    EffectRow<Mosaic>(kMosaicClassId),
    EffectRow<Swirl>(kSwirlClassId),
    EffectRow<LineSkip>(kLineSkipClassId),
    EffectRow<Snow>(kSnowClassId),
    EffectRow<HsbShift>(kHsbClassId),
    EffectRow<Pointel>(kPointelClassId),
};

bool SameGuid(const Guid& a, const Guid& b) { return std::memcmp(&a, &b, sizeof(Guid)) == 0; }

}  // namespace

Status WalkClassTable(const Guid* classFilter, ClassCallback onClass,
                      InterfaceCallback onInterface, void* context) {
  for (const ClassRow& row : kClassTable) {
    if (classFilter != nullptr && !SameGuid(*classFilter, *row.classId)) continue;
    if (onClass != nullptr) {
      const Status result = onClass(*row.classId, row.classVersion, row.instanceSize, row.create,
                                    row.destroy, context);
      if (result != 0) return result;
    }
    if (onInterface != nullptr) {
      const Status result = onInterface(*row.classId, row.classVersion, *row.interfaceId,
                                        row.interfaceVersion, row.builder, context);
      if (result != 0) return result;
    }
  }
  return 0;
}

}  // namespace vx
