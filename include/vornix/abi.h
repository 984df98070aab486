// The binary contract between the Vornix module and its host.
//
// A host author includes this header and nothing else of the module. The
// module, our own host layer and the tools use the same declarations.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define VX_CALL __stdcall
#elif defined(__i386__)
#define VX_CALL __attribute__((stdcall))
#else
#define VX_CALL
#endif

#if defined(_WIN32)
#define VX_EXPORT
#else
#define VX_EXPORT __attribute__((visibility("default")))
#endif

namespace vx {

// A pointer-sized unsigned integer: the unit of every record that holds
// pointers (instance header, interface record, services, colour table, ...).
using Word = std::uintptr_t;
using Status = std::int32_t;
using Symbol = std::int32_t;

inline constexpr Status kOk = 0;
inline constexpr Status kOutOfMemory = static_cast<Status>(0x80040002u);
inline constexpr Status kCannotUnload = static_cast<Status>(0x80040003u);
inline constexpr Status kNoInterface = static_cast<Status>(0x80040004u);
inline constexpr Status kNoClass = static_cast<Status>(0x80040005u);
inline constexpr Status kNoSuchFunction = static_cast<Status>(0x800407DFu);
inline constexpr Status kViewNoMemory = -306;

// Windows GUID layout.
struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16);

inline bool operator==(const Guid& a, const Guid& b) {
  if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.data4[i] != b.data4[i]) return false;
  return true;
}

// An 8-byte host value, opaque to the module; always passed by address.
struct alignas(8) HostValue {
  std::uint64_t bits;
};
static_assert(sizeof(HostValue) == 8);

struct PointRecord {
  std::int32_t vertical, horizontal;
};
struct RectRecord {
  std::int32_t top, left, bottom, right;
};

// Value-type codes of the value service.
enum ValueType : std::int32_t {
  kTypeInteger = 1,
  kTypeSymbol = 2,
  kTypeFloat = 6,
  kTypePoint = 8,
  kTypeRect = 9,
  kTypeList = 10,
};

// Registry entry type codes.
inline constexpr std::int32_t kEntryText = 9;
inline constexpr std::int32_t kEntryInteger = 3;

struct AreaRect {
  std::int32_t left, top, right, bottom;
  std::int32_t height, width, area;
  std::int32_t originX, originY;
  std::int32_t tag;
};
static_assert(sizeof(AreaRect) == 40);

struct PropertyDesc {
  std::int32_t keySymbol, valueType, propertyId;
};
static_assert(sizeof(PropertyDesc) == 12);

struct ClassInfoRecord {
  Guid classId;
  std::uint32_t classVersion;
  Guid interfaceId;
  std::uint32_t interfaceVersion;
};
static_assert(sizeof(ClassInfoRecord) == 40);

// ---------------------------------------------------------------------------
// Host interfaces. Slots the module never calls are kept as placeholders so
// that every operation sits at its index.

using Slot = void*;

#define VX_LIFETIME_OPS(Self)                                                \
  Status(VX_CALL* QueryInterface)(Self * self, const Guid* iid, void** out); \
  std::uint32_t(VX_CALL* AddRef)(Self * self);                               \
  std::uint32_t(VX_CALL* Release)(Self * self)

struct Unknown;
struct UnknownOps {
  VX_LIFETIME_OPS(Unknown);
};
struct Unknown {
  const UnknownOps* ops;
};

struct HostAllocator;
struct HostAllocatorOps {
  VX_LIFETIME_OPS(HostAllocator);
  void*(VX_CALL* Alloc)(HostAllocator* self, std::uint32_t bytes);
  Status(VX_CALL* Free)(HostAllocator* self, void* block);
};
struct HostAllocator {
  const HostAllocatorOps* ops;
};

struct ServiceProvider;
struct ServiceProviderOps {
  VX_LIFETIME_OPS(ServiceProvider);
  Slot unused3, unused4;
  Word(VX_CALL* BeginResourceAccess)(ServiceProvider* self, Word moduleHandle, Word* token);
  Status(VX_CALL* EndResourceAccess)(ServiceProvider* self, Word moduleHandle, Word token);
};
struct ServiceProvider {
  const ServiceProviderOps* ops;
};

struct ValueService;
struct ValueServiceOps {
  VX_LIFETIME_OPS(ValueService);
  Status(VX_CALL* IntegerToValue)(ValueService* self, std::int32_t v, HostValue* out);  // 3
  Status(VX_CALL* FloatToValue)(ValueService* self, double v, HostValue* out);         // 4
  Slot unused5;
  Status(VX_CALL* PointToValue)(ValueService* self, const PointRecord* p, HostValue* out);  // 6
  Status(VX_CALL* RectToValue)(ValueService* self, const RectRecord* r, HostValue* out);    // 7
  Status(VX_CALL* TextToSymbol)(ValueService* self, const char* text, Symbol* out);          // 8
  Slot unused9;
  Status(VX_CALL* GetValueType)(ValueService* self, const HostValue* v, std::int32_t* out);  // 10
  Slot unused11;
  Status(VX_CALL* ReleaseValue)(ValueService* self, HostValue* v);                           // 12
  Status(VX_CALL* ValueToInteger)(ValueService* self, const HostValue* v, std::int32_t* out);  // 13
  Status(VX_CALL* ValueToSymbol)(ValueService* self, const HostValue* v, Symbol* out);        // 14
  Status(VX_CALL* ValueToFloat)(ValueService* self, const HostValue* v, double* out);         // 15
  Slot unused16, unused17, unused18, unused19;
  Status(VX_CALL* ValueToPoint)(ValueService* self, const HostValue* v, PointRecord* out);  // 20
  Status(VX_CALL* ValueToRect)(ValueService* self, const HostValue* v, RectRecord* out);    // 21
  Slot unused22;
  Status(VX_CALL* SymbolToValue)(ValueService* self, Symbol s, HostValue* out);  // 23
};
struct ValueService {
  const ValueServiceOps* ops;
};

struct ListService;
struct ListServiceOps {
  VX_LIFETIME_OPS(ListService);
  Slot unused3, unused4, unused5, unused6, unused7, unused8, unused9;
  Status(VX_CALL* GetPropByKey)(ListService* self, const HostValue* list, const HostValue* key,
                                HostValue* out);  // 10
};
struct ListService {
  const ListServiceOps* ops;
};

struct Dictionary;
struct DictionaryOps {
  VX_LIFETIME_OPS(Dictionary);
  Slot unused3, unused4, unused5;
  Status(VX_CALL* Store)(Dictionary* self, std::int32_t typeCode, const void* value,
                         std::int32_t zero, const char* key);  // 6
};
struct Dictionary {
  const DictionaryOps* ops;
};

struct Registry;
struct RegistryOps {
  VX_LIFETIME_OPS(Registry);
  Slot unused3, unused4, unused5, unused6;
  Status(VX_CALL* OpenDictionary)(Registry* self, Word token, const Guid* classId,
                                  const Guid* interfaceId, Dictionary** out);  // 7
};
struct Registry {
  const RegistryOps* ops;
};

// The services argument of effect operations: word 1 value service, word 3
// host allocator, word 4 list service; the other words are the host's.
struct Services {
  Word word0;
  ValueService* values;
  Word word2;
  HostAllocator* allocator;
  ListService* lists;
};

// The instance header the host fills (seven words); the class's own fields
// start right after it.
struct InstanceHeader {
  const UnknownOps* hostOps;  // 0: query-interface, add-reference, release
  Word word1;
  ServiceProvider* provider;  // 2
  HostAllocator* allocator;   // 3
  Word word4, word5, word6;
};
static_assert(sizeof(InstanceHeader) == 7 * sizeof(Word));

// ---------------------------------------------------------------------------
// Glissade's records.

struct PixelView;
struct PixelViewOps {
  std::uint8_t*(VX_CALL* TopRowAddress)(PixelView* self, std::int32_t* status);
  std::uint8_t*(VX_CALL* BaseAddress)(PixelView* self, std::int32_t* status);
};
struct PixelView {
  const PixelViewOps* ops;
  AreaRect bounds;
  std::int32_t bytesPerPixel, rowPadding, rowSkip, rowLength, rowStep;
  AreaRect clip;
  std::int32_t depth;
  std::uint8_t* base;
};

// Colour table record: word 1 index offset, word 4 index stride, words 6-8
// red, green and blue planes, word 14 the 32768-entry inverse table.
struct ColourTable {
  Word words[15];
};
inline constexpr int kColourOffsetWord = 1;
inline constexpr int kColourStrideWord = 4;
inline constexpr int kColourRedWord = 6;
inline constexpr int kColourGreenWord = 7;
inline constexpr int kColourBlueWord = 8;
inline constexpr int kColourInverseWord = 14;

// Mask-threshold record: word 3 host allocator, 6 upper threshold, 7 lower
// threshold, 9 and 13 output rectangles (AreaRect*).
struct ThresholdRecord {
  Word words[14];
};
inline constexpr int kThresholdAllocatorWord = 3;
inline constexpr int kThresholdUpperWord = 6;
inline constexpr int kThresholdLowerWord = 7;
inline constexpr int kThresholdOutRectWord = 9;
inline constexpr int kThresholdOutRect2Word = 13;

// Sprite description of GetAlphaAt: word 14 points to the sprite's AreaRect.
struct SpriteDescription {
  Word words[15];
};
inline constexpr int kSpriteRectWord = 14;

// ---------------------------------------------------------------------------
// Module interfaces.

struct RegistrationInterface;
struct RegistrationOps {
  VX_LIFETIME_OPS(RegistrationInterface);
  Status(VX_CALL* Register)(RegistrationInterface* self, Registry* registry, Word token);
};
struct RegistrationInterface {
  const RegistrationOps* ops;
};

struct EffectInterface;
struct EffectOps {
  VX_LIFETIME_OPS(EffectInterface);
  Status(VX_CALL* GetTraits)(EffectInterface* self, std::int32_t* a, std::int32_t* b);  // 3
  Status(VX_CALL* GetDescription)(EffectInterface* self, char** outText, Services* services);
  Status(VX_CALL* GetAlphaAt)(EffectInterface* self, PixelView* alpha, std::int32_t vertical,
                              std::int32_t horizontal, std::int32_t* outValue,
                              SpriteDescription* sprite);
  Status(VX_CALL* GetDisplayName)(EffectInterface* self, char** out, Services* services);
  Status(VX_CALL* GetSetName)(EffectInterface* self, char** out, Services* services);
  Status(VX_CALL* GetPropertyTable)(EffectInterface* self, PropertyDesc** outTable,
                                    std::int32_t* outCount, Services* services);
  Status(VX_CALL* GetEffectSymbol)(EffectInterface* self, Symbol* outSymbol, Word unused);  // 9
  Status(VX_CALL* Render)(EffectInterface* self, PixelView* dst, PixelView* src, AreaRect* update,
                          PixelView* mask, const std::uint16_t* maskRuns, ColourTable* colours,
                          std::int32_t blend, std::int32_t draw, std::int32_t align,
                          std::int32_t hardMask, ThresholdRecord* thresholds);  // 10
  Status(VX_CALL* RenderWithAlpha)(EffectInterface* self, PixelView* dstColour,
                                   PixelView* dstAlpha, PixelView* srcColour, PixelView* srcMask,
                                   AreaRect* update, const std::uint16_t* maskRuns,
                                   ColourTable* colours, std::int32_t blend, std::int32_t draw,
                                   std::int32_t align, ThresholdRecord* thresholds);  // 11
  Status(VX_CALL* QueryFlag)(EffectInterface* self, std::int32_t* out, Word unused);    // 12
  Status(VX_CALL* NeedsRedraw)(EffectInterface* self, std::int32_t* out, std::int32_t reason);
  Status(VX_CALL* IsStill)(EffectInterface* self, std::int32_t* out, std::int32_t reason);
  Status(VX_CALL* SetProperties)(EffectInterface* self, const HostValue* list, Word unusedA,
                                 Word unusedB, Services* services, std::int32_t* restarted,
                                 std::int32_t* changed);  // 15
  Status(VX_CALL* CallFunction)(EffectInterface* self, Symbol function, const HostValue* args,
                                std::int32_t count, std::int32_t firstIndex, HostValue* result,
                                Services* services, std::int32_t* restarted,
                                std::int32_t* changed);  // 16
  Status(VX_CALL* Stop)(EffectInterface* self, Word unused, std::int32_t* changed);
  Status(VX_CALL* Resume)(EffectInterface* self, Word unused, std::int32_t* changed);
  Status(VX_CALL* Reset)(EffectInterface* self, Services* services, std::int32_t* outA,
                         std::int32_t* outB);  // 19
};
struct EffectInterface {
  const EffectOps* ops;
};

#undef VX_LIFETIME_OPS

// ---------------------------------------------------------------------------
// Exports.

using CreateFn = Status(VX_CALL*)(void* instance);
using DestroyFn = void(VX_CALL*)(void* instance);

// Class and interface ids.
inline constexpr Guid kUnknownInterfaceId = {0x00000001, 0x0000, 0x0000,
                                             {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid kEffectInterfaceId = {0x60C8BF84, 0x0B3B, 0x11D1,
                                            {0xBC, 0x04, 0x44, 0x45, 0x53, 0x54, 0x61, 0x6F}};
inline constexpr Guid kRegistrationInterfaceId = {
    0xAC3E7803, 0x0002, 0x8FE5, {0x00, 0x00, 0x08, 0x00, 0x07, 0x16, 0x0D, 0xC3}};
inline constexpr Guid kValueServiceId = {0xAC96CF89, 0x0045, 0x5879,
                                         {0x00, 0x00, 0x00, 0x40, 0x10, 0x50, 0x23, 0xFB}};

inline constexpr Guid kRegistrationClassId = {0x33586A82, 0x72F9, 0x11D0,
                                              {0xBC, 0x04, 0x8E, 0x1F, 0xDB, 0x20, 0x9E, 0x2C}};
inline constexpr Guid kRgbClassId = {0x33586A84, 0x72F9, 0x11D0,
                                     {0xBC, 0x04, 0x8E, 0x1F, 0xDB, 0x20, 0x9E, 0x2C}};
inline constexpr Guid kMagnifyClassId = {0x11D42CC2, 0x8D8C, 0x11D0,
                                         {0xBC, 0x04, 0x8E, 0x1F, 0xDB, 0x20, 0x9E, 0x2C}};
inline constexpr Guid kRotateClassId = {0x7C539A41, 0xBCE9, 0x11D0,
                                        {0xBC, 0x04, 0x44, 0x45, 0x53, 0x54, 0x61, 0x6F}};
inline constexpr Guid kMosaicClassId = {0xDFDDE781, 0xE81A, 0x11D0,
                                        {0xBC, 0x04, 0x44, 0x45, 0x53, 0x54, 0x61, 0x6F}};
inline constexpr Guid kSwirlClassId = {0xAAE47BE2, 0xF08D, 0x11D0,
                                       {0xBC, 0x04, 0x44, 0x45, 0x53, 0x54, 0x61, 0x6F}};
inline constexpr Guid kLineSkipClassId = {0x490450C2, 0x083A, 0x11D1,
                                          {0xBC, 0x04, 0x44, 0x45, 0x53, 0x54, 0x61, 0x6F}};
inline constexpr Guid kSnowClassId = {0x408AB3C2, 0x17E0, 0x11D1,
                                      {0xBC, 0x04, 0x44, 0x45, 0x53, 0x54, 0x61, 0x6F}};
inline constexpr Guid kHsbClassId = {0x3A9F8AA2, 0x18B0, 0x11D1,
                                     {0xBC, 0x04, 0x44, 0x45, 0x53, 0x54, 0x61, 0x6F}};
inline constexpr Guid kPointelClassId = {0x8C99BAE2, 0x199D, 0x11D1,
                                         {0xBC, 0x04, 0x44, 0x45, 0x53, 0x54, 0x61, 0x6F}};

}  // namespace vx

extern "C" {
VX_EXPORT vx::Status VX_CALL DllGetClassInfo(vx::HostAllocator* allocator,
                                             vx::ClassInfoRecord** out);
VX_EXPORT vx::Status VX_CALL DllGetClassForm(const vx::Guid* classId, std::int32_t* instanceSize,
                                             vx::CreateFn* create, vx::DestroyFn* destroy);
VX_EXPORT vx::Status VX_CALL DllGetInterface(void* instance, const vx::Guid* classId,
                                             const vx::Guid* interfaceId, void** out);
VX_EXPORT vx::Status VX_CALL DllGetClassObject(const vx::Guid* a, const vx::Guid* b, void** c);
VX_EXPORT vx::Status VX_CALL DllCanUnloadNow(void);
}

// Function-pointer types a host uses after looking the exports up by name.
namespace vx {
using DllGetClassInfoFn = Status(VX_CALL*)(HostAllocator*, ClassInfoRecord**);
using DllGetClassFormFn = Status(VX_CALL*)(const Guid*, std::int32_t*, CreateFn*, DestroyFn*);
using DllGetInterfaceFn = Status(VX_CALL*)(void*, const Guid*, const Guid*, void**);
using DllGetClassObjectFn = Status(VX_CALL*)(const Guid*, const Guid*, void**);
using DllCanUnloadNowFn = Status(VX_CALL*)(void);
}  // namespace vx
