#include "streams/lifting.h"

#include <string>

#include "platform/foundation/array.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/log.h"
#include "streams/dealloc.h"
#include "streams/description.h"
#include "streams/invocation_arguments.h"
#include "streams/operator_support.h"
#include "streams/tuple.h"

namespace es {

namespace {

// The receiver's signature for the selector, taken once; null, with a log line, when it has none
// or it takes another number of arguments than `count` (when given).
const rt::MethodSignature* liftedSignature(rt::Object& object, rt::Sel selector, std::optional<std::size_t> count) {
    const rt::MethodSignature* signature = object.methodSignatureForSelector(selector);
    std::string what = "-[" + std::string(object.getClass().name()) + " " + std::string(selector.name()) + "]";
    if (!signature) {
        ns::logLine("es::liftSelector: " + what + " is not implemented; nothing is lifted.");
        return nullptr;
    }
    if (count && *count + 2 != signature->numberOfArguments()) {
        ns::logLine("es::liftSelector: " + what + " takes " + std::to_string(signature->numberOfArguments() - 2) +
                    " arguments, lifted with " + std::to_string(*count) + "; nothing is lifted.");
        return nullptr;
    }
    return signature;
}

// Calls the method with each tuple of arguments, holding the receiver only for the call.
rt::Ref<Signal> lifted(rt::Object& object, rt::Sel selector, const rt::MethodSignature& signature,
                       const rt::Ref<Signal>& arguments) {
    rt::Ref<Signal> untilGone = signalArgument(arguments)->takeUntil(willDeallocSignal(&object));
    auto call = [receiver = rt::Weak<rt::Object>(&object), selector, signature = &signature](Downstream& out,
                                                                                            const rt::Id& value) {
        auto tuple = rt::cast<Tuple>(value);
        if (value && !tuple) {
            ns::logLine("es::liftSelector: " + value->description() + " is not a tuple of arguments for " +
                        std::string(selector.name()) + "; the method is not called.");
            return;
        }
        rt::Id target = receiver.lock();
        if (!target) return; // deallocating: the lifting is about to end
        rt::Invocation invocation(std::move(target), selector, *signature);
        setArgumentsTuple(invocation, tuple);
        invocation.invoke();
        out.sendNext(returnValue(invocation));
    };
    return makeOperator(*untilGone, Handlers{.next = std::move(call)}, "[%@] -invoke: %s", selector.name())
        ->replayLast();
}

rt::Ref<ns::Array> arrayOf(const std::vector<rt::Ref<Signal>>& signals) {
    return ns::Array::make(std::vector<rt::Id>(signals.begin(), signals.end()));
}

} // namespace

rt::Ref<Signal> liftSelectorWithSignalOfArguments(rt::Object* object, rt::Sel selector,
                                                  const rt::Ref<Signal>& arguments) {
    if (!object) return nullptr;
    const rt::MethodSignature* signature = liftedSignature(*object, selector, std::nullopt);
    if (!signature) return Signal::empty();
    rt::Ref<Signal> result = lifted(*object, selector, *signature, arguments);
    result->setNameWithFormat("%@ -es_liftSelector: %s withSignalsOfArguments: %@", description(object),
                              selector.name(), arguments);
    return result;
}

rt::Ref<Signal> liftSelector(rt::Object* object, rt::Sel selector, const std::vector<rt::Ref<Signal>>& signals) {
    if (!object) return nullptr;
    const rt::MethodSignature* signature = liftedSignature(*object, selector, signals.size());
    if (!signature) return Signal::empty();
    rt::Ref<Signal> result = lifted(*object, selector, *signature, Signal::combineLatest(signals));
    if (debugNamesEnabled())
        result->setNameWithFormat("%@ -es_liftSelector: %s withSignalsFromArray: %@", description(object),
                                  selector.name(), arrayOf(signals));
    return result;
}

rt::Ref<Signal> liftSelector(rt::Object* object, rt::Sel selector, std::initializer_list<rt::Ref<Signal>> signals) {
    std::vector<rt::Ref<Signal>> list(signals);
    rt::Ref<Signal> result = liftSelector(object, selector, list);
    if (result && debugNamesEnabled())
        result->setNameWithFormat("%@ -es_liftSelector: %s withSignals: %@", description(object), selector.name(),
                                  arrayOf(list));
    return result;
}

rt::Ref<Signal> liftSelectorWithObjects(rt::Object* object, rt::Sel selector, std::initializer_list<rt::Id> objects) {
    return liftSelector(object, selector, detail::signalsOfValues(objects));
}

rt::Ref<Signal> liftSelectorWithObjectsFromArray(rt::Object* object, rt::Sel selector,
                                                 const rt::Ref<ns::Array>& objects) {
    return liftSelector(object, selector, detail::signalsOfValues(detail::arrayValues(objects)));
}

namespace detail {

std::vector<rt::Ref<Signal>> signalsOfValues(const std::vector<rt::Id>& values) {
    std::vector<rt::Ref<Signal>> signals;
    signals.reserve(values.size());
    for (const rt::Id& value : values) {
        if (!value || value == TupleNil::tupleNil()) signals.push_back(Signal::returnValue(nullptr));
        else if (auto signal = rt::cast<Signal>(value)) signals.push_back(signal);
        else signals.push_back(Signal::returnValue(value));
    }
    return signals;
}

std::vector<rt::Id> arrayValues(const rt::Ref<ns::Array>& array) {
    if (!array) return {};
    return std::vector<rt::Id>(array->begin(), array->end());
}

rt::Ref<Signal> liftedBlock(rt::Object* object, const std::vector<rt::Ref<Signal>>& signals,
                            std::function<rt::Id(const rt::Id&)> block) {
    if (!object) return nullptr;
    return Signal::combineLatest(signals)
        ->reduceEachTuple(std::move(block))
        ->takeUntil(willDeallocSignal(object))
        ->replayLast();
}

} // namespace detail

} // namespace es
