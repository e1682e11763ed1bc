#include "filter/interception_hooks.h"

namespace {

HookDecision passUntouched(FilterDriver&, FilterExtension&, kernel::Irp*, kernel::StackLocation*) {
  return {HookAction::Pass, kernel::kStatusSuccess};
}

void observeNothing(FilterDriver&, FilterExtension&, kernel::Irp*, kernel::StackLocation*, kernel::Status) {}

}  // namespace

InterceptionHooks passThroughHooks() {
  return {passUntouched, passUntouched, passUntouched, passUntouched, observeNothing, observeNothing, observeNothing};
}
