// The seventeen effect operations, written once for every effect type.
//
// An effect type gives its static answers as constants:
//   static constexpr char kName[];            lower-case symbol text
//   static constexpr char kDisplayName[];
//   static constexpr std::int32_t kDescriptionId;
//   static constexpr bool kChangesAlpha;      QueryFlag's answer
//   static constexpr PropertyRow kProperties[];
// optionally
//   static constexpr AnimState kCreateAnim;  animation state after create and
//                                            Reset (default kCreateAnimState)
//   static constexpr bool kResumeAlwaysChanges;  Resume reports a change
//                                            even for a static animation
//   static constexpr bool kResetAnswersFirstOnly;  Reset writes 1 to its
//                                            first output and leaves the second
// and may replace any behaviour with a static hook of the operation's own
// name and parameters, `Effect&` in place of the interface. Without a hook
// the common behaviour below applies. Further optional hooks:
//   ApplyProperties(Effect&, const HostValue* list, Services*, int32_t* restarted)
//     the effect's part of SetProperties, after the table is built;
//   SetDefaults(Effect&)    create-time values of the effect's own fields,
//                           also run by Reset: it must leave work buffers alone
//                           (the host's fresh memory is not zeroed, so an
//                           effect with buffers clears them in its own Create
//                           path or keeps a Reset hook);
//   FreeBuffers(Effect&)    release work buffers on destroy;
//   AfterReset(Effect&)     what Reset does beyond the create state (work
//                           buffers sized again, fields create leaves alone);
//   AcquireResources(Effect&) -> Status
//                           create-time resources, after SetDefaults; a
//                           failing status fails create, and the hook has
//                           then released whatever it took.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "framework/animation.h"
#include "framework/interface_record.h"
#include "vornix/abi.h"

namespace vx {

// One row of an effect's property table. A row with a null key is left
// unfilled in the built table.
struct PropertyRow {
  const char* key;
  std::int32_t id;
  std::int32_t type;
};

template <class Effect>
struct EffectClass;

inline constexpr char kSetName[] = "Vornix Set 1";

// Copies `text` with its terminating zero into a block from the services'
// allocator and stores it in `out`; 0x80040002 (and `out` untouched) when the
// allocator fails.
Status CopyTextToHost(const char* text, Services* services, char** out);

// Allocates a table of `count` entries from the services' allocator and fills
// the rows that have a key; other entries are zero. Null when the allocator
// fails.
PropertyDesc* BuildPropertyTable(const PropertyRow* rows, std::int32_t count,
                                 Services* services);

// The description text of resource `id` for the instance behind `header`;
// null when missing or out of memory.
void LoadDescriptionText(InstanceHeader* header, Services* services, std::int32_t id,
                         char** outText);

// The animation state an effect starts in: static and finished unless the
// effect names its own (the noise effects start moving).
template <class Effect>
constexpr AnimState CreateAnimStateOf() {
  if constexpr (requires { Effect::kCreateAnim; })
    return Effect::kCreateAnim;
  else
    return kCreateAnimState;
}

// Animation state and the effect's own fields back to their create values;
// Reset hooks that differ only in their outputs build on it.
template <class Effect>
void RestoreCreateState(Effect& e) {
  e.anim = CreateAnimStateOf<Effect>();
  if constexpr (requires { Effect::SetDefaults(e); }) Effect::SetDefaults(e);
}

// Common behaviours shared by every effect whose rules are the usual ones.
// 1 while running or when `reason` is 2; the pending mark of a static
// setting also answers 1, once. Effects that do not read the reason pass 0.
void CommonNeedsRedraw(AnimState* anim, std::int32_t* out, std::int32_t reason);
inline std::int32_t CommonIsStill(const AnimState& anim) {
  return (anim.mode == kModeStatic || anim.finished != 0) ? 1 : 0;
}
// Stop (finished = 1) or Resume (finished = 0); changed unless static.
void CommonSetFinished(AnimState* anim, std::int32_t finished, std::int32_t* changed);

// A hook whose name matches an operation but whose parameters do not would
// otherwise be skipped without a word.
#define VX_NO_MISMATCHED_HOOK(op)                  \
  static_assert(!requires { &Effect::op; },        \
                #op " hook: parameters must be the operation's, Effect& first")

template <class Effect>
struct EffectOperations {
  static constexpr std::int32_t kPropertyCount =
      static_cast<std::int32_t>(std::size(Effect::kProperties));

  static Effect& Of(EffectInterface* self) { return *EffectClass<Effect>::InstanceOf(self); }

  // The cached table, built on first need; null while the allocator fails.
  static PropertyDesc* EnsureTable(Effect& e, Services* services) {
    if (e.propertyTable == nullptr)
      e.propertyTable = BuildPropertyTable(Effect::kProperties, kPropertyCount, services);
    return e.propertyTable;
  }

  static void Fill(EffectOps* ops) {
    ops->GetTraits = &GetTraits;
    ops->GetDescription = &GetDescription;
    ops->GetAlphaAt = &GetAlphaAt;
    ops->GetDisplayName = &GetDisplayName;
    ops->GetSetName = &GetSetName;
    ops->GetPropertyTable = &GetPropertyTable;
    ops->GetEffectSymbol = &GetEffectSymbol;
    ops->Render = &Render;
    ops->RenderWithAlpha = &RenderWithAlpha;
    ops->QueryFlag = &QueryFlag;
    ops->NeedsRedraw = &NeedsRedraw;
    ops->IsStill = &IsStill;
    ops->SetProperties = &SetProperties;
    ops->CallFunction = &CallFunction;
    ops->Stop = &Stop;
    ops->Resume = &Resume;
    ops->Reset = &Reset;
  }

  static Status VX_CALL GetTraits(EffectInterface* self, std::int32_t* a, std::int32_t* b) {
    if constexpr (requires(Effect& e) { Effect::GetTraits(e, a, b); }) {
      return Effect::GetTraits(Of(self), a, b);
    } else {
      VX_NO_MISMATCHED_HOOK(GetTraits);
      (void)self;
      *a = 1;
      *b = 1;
      return kOk;
    }
  }

  static Status VX_CALL GetDescription(EffectInterface* self, char** outText,
                                       Services* services) {
    Effect& e = Of(self);
    if constexpr (requires { Effect::GetDescription(e, outText, services); }) {
      return Effect::GetDescription(e, outText, services);
    } else {
      VX_NO_MISMATCHED_HOOK(GetDescription);
      LoadDescriptionText(&e.header, services, Effect::kDescriptionId, outText);
      return kOk;
    }
  }

  static Status VX_CALL GetAlphaAt(EffectInterface* self, PixelView* alpha,
                                   std::int32_t vertical, std::int32_t horizontal,
                                   std::int32_t* outValue, SpriteDescription* sprite) {
    if constexpr (requires(Effect& e) {
                    Effect::GetAlphaAt(e, alpha, vertical, horizontal, outValue, sprite);
                  }) {
      return Effect::GetAlphaAt(Of(self), alpha, vertical, horizontal, outValue, sprite);
    } else {
      VX_NO_MISMATCHED_HOOK(GetAlphaAt);
      return kOk;
    }
  }

  static Status VX_CALL GetDisplayName(EffectInterface*, char** out, Services* services) {
    return CopyTextToHost(Effect::kDisplayName, services, out);
  }

  static Status VX_CALL GetSetName(EffectInterface*, char** out, Services* services) {
    return CopyTextToHost(kSetName, services, out);
  }

  static Status VX_CALL GetPropertyTable(EffectInterface* self, PropertyDesc** outTable,
                                         std::int32_t* outCount, Services* services) {
    *outTable = EnsureTable(Of(self), services);
    *outCount = kPropertyCount;
    return kOk;
  }

  static Status VX_CALL GetEffectSymbol(EffectInterface* self, Symbol* outSymbol, Word) {
    *outSymbol = Of(self).effectSymbol;
    return kOk;
  }

  static Status VX_CALL Render(EffectInterface* self, PixelView* dst, PixelView* src,
                               AreaRect* update, PixelView* mask, const std::uint16_t* maskRuns,
                               ColourTable* colours, std::int32_t blend, std::int32_t draw,
                               std::int32_t align, std::int32_t hardMask,
                               ThresholdRecord* thresholds) {
    if constexpr (requires(Effect& e) {
                    Effect::Render(e, dst, src, update, mask, maskRuns, colours, blend, draw,
                                   align, hardMask, thresholds);
                  }) {
      return Effect::Render(Of(self), dst, src, update, mask, maskRuns, colours, blend, draw,
                            align, hardMask, thresholds);
    } else {
      VX_NO_MISMATCHED_HOOK(Render);
      // Not drawn yet by this effect: leave the destination as it is.
      return kOk;
    }
  }

  static Status VX_CALL RenderWithAlpha(EffectInterface* self, PixelView* dstColour,
                                        PixelView* dstAlpha, PixelView* srcColour,
                                        PixelView* srcMask, AreaRect* update,
                                        const std::uint16_t* maskRuns, ColourTable* colours,
                                        std::int32_t blend, std::int32_t draw,
                                        std::int32_t align, ThresholdRecord* thresholds) {
    if constexpr (requires(Effect& e) {
                    Effect::RenderWithAlpha(e, dstColour, dstAlpha, srcColour, srcMask, update,
                                            maskRuns, colours, blend, draw, align, thresholds);
                  }) {
      return Effect::RenderWithAlpha(Of(self), dstColour, dstAlpha, srcColour, srcMask, update,
                                     maskRuns, colours, blend, draw, align, thresholds);
    } else {
      VX_NO_MISMATCHED_HOOK(RenderWithAlpha);
      return kOk;
    }
  }

  static Status VX_CALL QueryFlag(EffectInterface*, std::int32_t* out, Word) {
    *out = Effect::kChangesAlpha ? 1 : 0;
    return kOk;
  }

  static Status VX_CALL NeedsRedraw(EffectInterface* self, std::int32_t* out,
                                    std::int32_t reason) {
    Effect& e = Of(self);
    if constexpr (requires { Effect::NeedsRedraw(e, out, reason); }) {
      return Effect::NeedsRedraw(e, out, reason);
    } else {
      VX_NO_MISMATCHED_HOOK(NeedsRedraw);
      CommonNeedsRedraw(&e.anim, out, reason);
      return kOk;
    }
  }

  static Status VX_CALL IsStill(EffectInterface* self, std::int32_t* out, std::int32_t reason) {
    Effect& e = Of(self);
    if constexpr (requires { Effect::IsStill(e, out, reason); }) {
      return Effect::IsStill(e, out, reason);
    } else {
      VX_NO_MISMATCHED_HOOK(IsStill);
      *out = CommonIsStill(e.anim);
      return kOk;
    }
  }

  static Status VX_CALL SetProperties(EffectInterface* self, const HostValue* list, Word unusedA,
                                      Word unusedB, Services* services, std::int32_t* restarted,
                                      std::int32_t* changed) {
    Effect& e = Of(self);
    if constexpr (requires {
                    Effect::SetProperties(e, list, unusedA, unusedB, services, restarted,
                                          changed);
                  }) {
      return Effect::SetProperties(e, list, unusedA, unusedB, services, restarted, changed);
    } else {
      VX_NO_MISMATCHED_HOOK(SetProperties);
      *changed = 1;
      if (EnsureTable(e, services) == nullptr) return kOutOfMemory;
      if constexpr (requires { Effect::ApplyProperties(e, list, services, restarted); })
        Effect::ApplyProperties(e, list, services, restarted);
      else
        VX_NO_MISMATCHED_HOOK(ApplyProperties);
      return kOk;
    }
  }

  static Status VX_CALL CallFunction(EffectInterface* self, Symbol function,
                                     const HostValue* args, std::int32_t count,
                                     std::int32_t firstIndex, HostValue* result,
                                     Services* services, std::int32_t* restarted,
                                     std::int32_t* changed) {
    if constexpr (requires(Effect& e) {
                    Effect::CallFunction(e, function, args, count, firstIndex, result, services,
                                         restarted, changed);
                  }) {
      return Effect::CallFunction(Of(self), function, args, count, firstIndex, result, services,
                                  restarted, changed);
    } else {
      VX_NO_MISMATCHED_HOOK(CallFunction);
      return kNoSuchFunction;
    }
  }

  static Status VX_CALL Stop(EffectInterface* self, Word unused, std::int32_t* changed) {
    Effect& e = Of(self);
    if constexpr (requires { Effect::Stop(e, unused, changed); }) {
      return Effect::Stop(e, unused, changed);
    } else {
      VX_NO_MISMATCHED_HOOK(Stop);
      CommonSetFinished(&e.anim, 1, changed);
      return kOk;
    }
  }

  static Status VX_CALL Resume(EffectInterface* self, Word unused, std::int32_t* changed) {
    Effect& e = Of(self);
    if constexpr (requires { Effect::Resume(e, unused, changed); }) {
      return Effect::Resume(e, unused, changed);
    } else {
      VX_NO_MISMATCHED_HOOK(Resume);
      if constexpr (requires { requires Effect::kResumeAlwaysChanges; }) {
        e.anim.finished = 0;
        *changed = 1;
      } else {
        CommonSetFinished(&e.anim, 0, changed);
      }
      return kOk;
    }
  }

  static Status VX_CALL Reset(EffectInterface* self, Services* services, std::int32_t* outA,
                              std::int32_t* outB) {
    Effect& e = Of(self);
    if constexpr (requires { Effect::Reset(e, services, outA, outB); }) {
      return Effect::Reset(e, services, outA, outB);
    } else {
      VX_NO_MISMATCHED_HOOK(Reset);
      RestoreCreateState(e);
      if constexpr (requires { Effect::AfterReset(e); }) Effect::AfterReset(e);
      *outA = 1;
      if constexpr (!requires { requires Effect::kResetAnswersFirstOnly; }) *outB = 1;
      return kOk;
    }
  }
};

#undef VX_NO_MISMATCHED_HOOK

}  // namespace vx
