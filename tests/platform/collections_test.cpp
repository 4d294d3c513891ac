// Arrays, dictionaries, sets, ordered sets, index sets and NSNull.

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/collections.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/index_set.h"
#include "platform/foundation/null.h"
#include "platform/foundation/ordered_set.h"
#include "platform/foundation/set.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"

namespace {

class CollectionItem : public rt::Object {
    RT_CLASS(CollectionItem)
public:
    rt::Ref<ns::String> name() const { return name_; }
    void setName(rt::Ref<ns::String> v) { name_ = std::move(v); }

private:
    rt::Ref<ns::String> name_;
};

} // namespace

RT_DEFINE_CLASS(CollectionItem, "CollectionItem", rt::Object,
                rt::prop("name", &CollectionItem::name, &CollectionItem::setName))

namespace {

// The name of the ns::Exception `f` throws ("" when it throws none).
template <class F> std::string thrownName(F&& f) {
    try {
        f();
    } catch (const ns::Exception& e) {
        return e.name();
    }
    return "";
}

std::vector<std::string> texts(const ns::Array& a) {
    std::vector<std::string> out;
    for (auto& o : a)
        out.push_back(o->description());
    return out;
}

using Texts = std::vector<std::string>;

// ---- Array ----------------------------------------------------------------------------------

TEST(Array, AccessOutOfRangeAndNilInsertionThrow) {
    auto empty = ns::Array::make();
    EXPECT_EQ(empty->count(), 0u);
    EXPECT_FALSE(empty->firstObject());
    EXPECT_FALSE(empty->lastObject());
    EXPECT_EQ(thrownName([&] { empty->objectAtIndex(0); }), ns::RangeException);

    auto a = ns::arr(1, "two", 3.5);
    EXPECT_EQ(texts(*a), (Texts{"1", "two", "3.5"}));
    EXPECT_EQ(a->firstObject()->description(), "1");
    EXPECT_EQ(a->lastObject()->description(), "3.5");
    EXPECT_EQ(thrownName([&] { a->objectAtIndex(3); }), ns::RangeException);
    EXPECT_EQ(thrownName([&] { a->subarrayWithRange({2, 2}); }), ns::RangeException);
    EXPECT_EQ(thrownName([] {
                  ns::Array::withObjects({ns::num(1), nullptr});
              }),
              ns::InvalidArgumentException);

    auto m = ns::MutableArray::make();
    EXPECT_EQ(thrownName([&] { m->addObject(nullptr); }), ns::InvalidArgumentException);
    EXPECT_EQ(thrownName([&] { m->insertObjectAtIndex(ns::num(1), 1); }), ns::RangeException);
    EXPECT_EQ(thrownName([&] { m->removeObjectAtIndex(0); }), ns::RangeException);
    m->removeLastObject(); // no-op when empty
    EXPECT_EQ(m->count(), 0u);
}

TEST(Array, MutationsKeepOrder) {
    auto m = ns::MutableArray::withObjects({ns::num(1), ns::num(2), ns::num(3)});
    m->insertObjectAtIndex(ns::num(0), 0);
    m->insertObjectAtIndex(ns::num(4), 4); // at the end
    m->setObjectAtIndex(ns::num(5), 5);    // appends
    EXPECT_EQ(texts(*m), (Texts{"0", "1", "2", "3", "4", "5"}));
    m->exchangeObjectAtIndex(0, 5);
    m->replaceObjectAtIndex(1, ns::num(2.0));
    m->removeObjectAtIndex(3);
    EXPECT_EQ(texts(*m), (Texts{"5", "2", "2", "4", "0"}));
    m->removeObject(ns::num(2)); // every isEqual match, 2.0 included
    EXPECT_EQ(texts(*m), (Texts{"5", "4", "0"}));

    auto s = ns::str("x");
    auto same = ns::str("x");
    m->addObject(s);
    m->addObject(same);
    m->removeObjectIdenticalTo(same);
    ASSERT_EQ(m->count(), 4u);
    EXPECT_EQ((*m)[3], s);
    m->addObjectsFromArray(*m);
    EXPECT_EQ(m->count(), 8u);
    m->removeLastObject();
    m->removeAllObjects();
    EXPECT_TRUE(m->isEmpty());
}

TEST(Array, SearchingJoiningAndStableSorting) {
    auto a = ns::arr("b", 2, "a", 1.0);
    EXPECT_EQ(a->indexOfObject(ns::num(1)), 3u); // 1 isEqual 1.0
    EXPECT_EQ(a->indexOfObject(ns::str("a")), 2u);
    EXPECT_EQ(a->indexOfObjectIdenticalTo(ns::str("a")), ns::NotFound);
    EXPECT_EQ(a->indexOfObject(ns::str("zz")), ns::NotFound);
    EXPECT_TRUE(a->containsObject(ns::num(2)));
    EXPECT_EQ(a->componentsJoinedByString(", ")->utf8(), "b, 2, a, 1");
    EXPECT_EQ(ns::Array::make()->componentsJoinedByString("-")->utf8(), "");
    EXPECT_EQ(texts(*a->subarrayWithRange({1, 2})), (Texts{"2", "a"}));
    EXPECT_EQ(texts(*a->arrayByAddingObject(ns::num(7))), (Texts{"b", "2", "a", "1", "7"}));
    EXPECT_EQ(a->count(), 4u);

    // Sort by the number only; equal numbers keep their original order.
    auto pairs = ns::arr(ns::arr(2, "a"), ns::arr(1, "b"), ns::arr(2, "c"), ns::arr(1, "d"), ns::arr(0, "e"));
    auto sorted = pairs->sortedArrayUsingComparator([](const rt::Id& x, const rt::Id& y) {
        auto* nx = static_cast<ns::Number*>(static_cast<ns::Array*>(x.get())->objectAtIndex(0).get());
        auto* ny = static_cast<ns::Number*>(static_cast<ns::Array*>(y.get())->objectAtIndex(0).get());
        return nx->compare(*ny);
    });
    std::string order;
    for (auto& p : *sorted)
        order += static_cast<ns::Array*>(p.get())->lastObject()->description();
    EXPECT_EQ(order, "ebdac");
}

TEST(Array, EqualityAcrossMutabilityAndCopies) {
    auto a = ns::arr(1, "x");
    auto m = a->mutableCopy();
    EXPECT_TRUE(a->isEqual(m.get()));
    EXPECT_TRUE(m->isEqual(a.get()));
    EXPECT_EQ(a->hash(), m->hash());
    EXPECT_EQ(a->copy(), a); // immutable: itself
    EXPECT_EQ(a->getClass().name(), "NSArray");
    EXPECT_EQ(m->getClass().name(), "NSMutableArray");

    rt::Id frozen = m->copy();
    EXPECT_NE(frozen, m);
    EXPECT_EQ(frozen->getClass().name(), "NSArray");
    m->addObject(ns::num(2));
    EXPECT_FALSE(a->isEqual(m.get()));
    EXPECT_TRUE(frozen->isEqual(a.get()));
    EXPECT_FALSE(a->isEqual(ns::arr("x", 1).get()));
    EXPECT_FALSE(a->isEqual(ns::Set::withArray(*a).get()));
}

TEST(Array, DescriptionIndentsNestedCollectionsAndQuotesStrings) {
    EXPECT_EQ(ns::Array::make()->description(), "()");
    EXPECT_EQ(ns::arr(1, 2)->description(), "(\n    1,\n    2\n)");
    EXPECT_EQ(
        ns::arr("plain_1", "two words", "", "q\"", ns::str("caf\xC3\xA9"), ns::Null::null())->description(),
        "(\n    plain_1,\n    \"two words\",\n    \"\",\n    \"q\\\"\",\n    \"caf\\U00e9\",\n    <null>\n)");
    EXPECT_EQ(ns::arr(ns::arr(1), ns::dict({{"k", "v"}}))->description(),
              "(\n        (\n        1\n    ),\n        {\n        k = v;\n    }\n)");
}

TEST(Array, KeyValueCodingMapsOverElements) {
    auto a = rt::make<CollectionItem>(), b = rt::make<CollectionItem>();
    a->setName(ns::str("Ada"));
    auto items = ns::arr(a, b);
    auto names = rt::Ref<ns::Array>(static_cast<ns::Array*>(items->valueForKey("name").get()));
    ASSERT_TRUE(names);
    ASSERT_EQ(names->count(), 2u);
    EXPECT_TRUE(names->objectAtIndex(0)->isEqual(ns::str("Ada").get()));
    EXPECT_EQ(names->objectAtIndex(1), ns::Null::null()); // nil becomes NSNull
    EXPECT_TRUE(items->valueForKey("@count")->isEqual(ns::num(2).get()));

    items->setValueForKey(ns::str("Bo"), "name");
    EXPECT_EQ(a->name()->utf8(), "Bo");
    EXPECT_EQ(b->name()->utf8(), "Bo");
}

// ---- Dictionary -----------------------------------------------------------------------------

Texts keysOf(const ns::Dictionary& d) {
    Texts out;
    for (auto [key, value] : d)
        out.push_back(key->description());
    return out;
}

TEST(Dictionary, InsertionOrderUnderReplaceRemoveAndReAdd) {
    auto d = ns::MutableDictionary::make();
    for (const char* k : {"c", "a", "b", "d"})
        d->setObjectForKey(ns::str(k), k);
    d->setObjectForKey(ns::num(1), ns::str("a")); // replacing keeps the place
    EXPECT_EQ(keysOf(*d), (Texts{"c", "a", "b", "d"}));
    EXPECT_EQ(d->objectForKey("a")->description(), "1");

    d->removeObjectForKey("c");
    d->removeObjectForKey(ns::str("b"));
    d->removeObjectForKey("absent");
    d->setObjectForKey(ns::num(2), "c"); // re-added: at the end
    EXPECT_EQ(keysOf(*d), (Texts{"a", "d", "c"}));
    EXPECT_EQ(texts(*d->allKeys()), (Texts{"a", "d", "c"}));
    EXPECT_EQ(texts(*d->allValues()), (Texts{"1", "d", "2"}));
    EXPECT_EQ(d->description(), "{\n    a = 1;\n    d = d;\n    c = 2;\n}");
    EXPECT_EQ(keysOf(*rt::downcast<ns::Dictionary>(d->copy())), (Texts{"a", "d", "c"}));

    auto w = ns::Dictionary::withPairs(
        {{ns::str("x"), ns::num(1)}, {ns::str("y"), ns::num(2)}, {ns::str("x"), ns::num(3)}});
    EXPECT_EQ(keysOf(*w), (Texts{"x", "y"}));
    EXPECT_EQ(w->objectForKey("x")->description(), "3");
}

// The readers' bulk path gives what one setObjectForKey after another gives: a repeated key keeps
// its first place and takes the last value, whether it is the same String or an equal one.
TEST(Dictionary, StringKeysInBulkAgreeWithOneByOne) {
    auto a = ns::str("a");
    const std::string longText(80, 'k');
    std::vector<rt::Id> keys{a,        ns::str("b"),          ns::str(longText), a,
                             ns::str("a"), ns::str("\xC3\xA9"), ns::str(longText), ns::str("\xC3\xA9")};
    std::vector<rt::Id> values;
    for (int i = 0; i < static_cast<int>(keys.size()); ++i)
        values.push_back(ns::num(i));
    auto expected = ns::MutableDictionary::make();
    for (std::size_t i = 0; i < keys.size(); ++i)
        expected->setObjectForKey(values[i], keys[i]);

    std::vector<rt::Id> k1 = keys, v1 = values, k2 = keys, v2 = values;
    auto bulk = ns::Dictionary::withStringKeys(k1, v1);
    auto mutableBulk = ns::MutableDictionary::withStringKeys(k2, v2);
    EXPECT_TRUE(k1.empty() && v1.empty() && k2.empty() && v2.empty());
    // One member at a time, with room for fewer than come.
    auto filler = ns::Dictionary::fillWithStringKeys(2);
    for (std::size_t i = 0; i < keys.size(); ++i)
        filler.add(rt::downcast<ns::String>(keys[i]), keys[i]->hash(), rt::Id(values[i]));
    auto filled = filler.take();
    for (const ns::Dictionary* d : {static_cast<const ns::Dictionary*>(bulk.get()),
                                    static_cast<const ns::Dictionary*>(mutableBulk.get()),
                                    static_cast<const ns::Dictionary*>(filled.get())}) {
        EXPECT_EQ(keysOf(*d), (Texts{"a", "b", longText, "\xC3\xA9"}));
        EXPECT_EQ(texts(*d->allValues()), (Texts{"4", "1", "6", "7"}));
        EXPECT_TRUE(d->isEqualToDictionary(*expected));
        EXPECT_EQ(d->objectForKey(ns::str("\xC3\xA9"))->description(), "7");
    }
    EXPECT_FALSE(rt::cast<ns::MutableDictionary>(bulk));
    mutableBulk->setObjectForKey(ns::num(9), "b");
    mutableBulk->setObjectForKey(ns::num(10), "c");
    EXPECT_EQ(keysOf(*mutableBulk), (Texts{"a", "b", longText, "\xC3\xA9", "c"}));
    EXPECT_EQ(mutableBulk->objectForKey("b")->description(), "9");
}

TEST(Dictionary, KeysAreCopiedWhenStored) {
    auto key = ns::MutableArray::withObjects({ns::num(1)});
    auto d = ns::MutableDictionary::make();
    d->setObjectForKey(ns::str("one"), key);
    key->addObject(ns::num(2)); // must not change the stored key

    EXPECT_FALSE(d->objectForKey(key));
    rt::Id stored = d->allKeys()->firstObject();
    EXPECT_NE(stored, key);
    EXPECT_EQ(stored->getClass().name(), "NSArray");
    EXPECT_EQ(d->objectForKey(ns::arr(1))->description(), "one");
}

TEST(Dictionary, LookupByTextMatchesStringKeysOnly) {
    auto d = ns::MutableDictionary::make();
    d->setObjectForKey(ns::str("by string"), ns::str("k1"));
    d->setObjectForKey(ns::str("by text"), "k2");
    d->setObjectForKey(ns::str("number key"), ns::num(7));
    d->setObjectForKey(ns::str("accented"), "\xC3\xA9t\xC3\xA9");

    EXPECT_EQ(d->objectForKey("k1")->description(), "by string");
    EXPECT_EQ(d->objectForKey(ns::str("k2"))->description(), "by text");
    EXPECT_EQ(d->objectForKey(ns::str("\xC3\xA9t\xC3\xA9"))->description(), "accented");
    EXPECT_EQ(d->objectForKey(std::string("\xC3\xA9t\xC3\xA9"))->description(), "accented");
    EXPECT_FALSE(d->objectForKey("7")); // a number key is not found by its text
    EXPECT_EQ(d->objectForKey(ns::num(7.0))->description(), "number key");
    EXPECT_FALSE(d->objectForKey("k"));
    EXPECT_FALSE(d->objectForKey(rt::Id()));
    EXPECT_TRUE(d->containsKey("k2"));
    EXPECT_FALSE(ns::Dictionary::make()->objectForKey("k1"));
}

TEST(Dictionary, GrowthAndChurnAgreeWithAReference) {
    // Random inserts, replacements and removals against a simple ordered model.
    std::mt19937 rng(42);
    auto d = ns::MutableDictionary::make();
    std::vector<std::pair<int, int>> model; // (key, value) in insertion order
    auto find = [&](int k) {
        for (std::size_t i = 0; i < model.size(); ++i) {
            if (model[i].first == k) return i;
        }
        return model.size();
    };
    for (int step = 0; step < 20000; ++step) {
        int k = static_cast<int>(rng() % 600), v = step;
        std::size_t at = find(k);
        if (rng() % 3 == 0) {
            d->removeObjectForKey(ns::str("k" + std::to_string(k)));
            if (at < model.size()) model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        } else {
            d->setObjectForKey(ns::num(v), "k" + std::to_string(k));
            if (at < model.size())
                model[at].second = v;
            else
                model.emplace_back(k, v);
        }
        if (step % 997 == 0 || step == 19999) {
            ASSERT_EQ(d->count(), model.size());
            std::size_t i = 0;
            for (auto [key, value] : *d) {
                ASSERT_EQ(key->description(), "k" + std::to_string(model[i].first));
                ASSERT_EQ(value->description(), std::to_string(model[i].second));
                ++i;
            }
            for (int probe = 0; probe < 600; ++probe) {
                std::size_t m = find(probe);
                rt::Id got = d->objectForKey("k" + std::to_string(probe));
                ASSERT_EQ(bool(got), m < model.size()) << probe;
                if (got) {
                    ASSERT_EQ(got->description(), std::to_string(model[m].second));
                }
            }
        }
    }
    // Adding and removing one key over and over must not exhaust the table.
    for (int i = 0; i < 100000; ++i) {
        d->setObjectForKey(ns::num(i), "churn");
        d->removeObjectForKey("churn");
    }
    EXPECT_EQ(d->count(), model.size());
    d->removeAllObjects();
    EXPECT_EQ(d->count(), 0u);
    EXPECT_FALSE(d->objectForKey("k1"));
}

// Small tables look entries up without an index and take one when they grow past a few entries;
// churn around that size, with holes left by removals, agrees with a model at every step, for
// dictionaries (by key and by text), copies of them and ordered sets.
TEST(Dictionary, ChurnAroundTheSizeOfSmallTablesAgreesWithAReference) {
    std::mt19937 rng(7);
    auto d = ns::MutableDictionary::make();
    auto ordered = ns::MutableOrderedSet::make();
    std::vector<std::pair<int, int>> model;
    std::vector<int> orderedModel;
    auto find = [&](int k) {
        for (std::size_t i = 0; i < model.size(); ++i)
            if (model[i].first == k) return i;
        return model.size();
    };
    for (int step = 0; step < 6000; ++step) {
        const int k = static_cast<int>(rng() % 24);
        const std::size_t at = find(k);
        const std::string key = "k" + std::to_string(k);
        switch (rng() % 5) {
        case 0:
        case 1:
            d->removeObjectForKey(key);
            if (at < model.size()) model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
            break;
        default:
            d->setObjectForKey(ns::num(step), ns::str(key));
            if (at < model.size())
                model[at].second = step;
            else
                model.emplace_back(k, step);
        }
        auto it = std::find(orderedModel.begin(), orderedModel.end(), k);
        if (rng() % 2) {
            ordered->removeObject(ns::num(k));
            if (it != orderedModel.end()) orderedModel.erase(it);
        } else if (it == orderedModel.end()) {
            const std::size_t index = rng() % (orderedModel.size() + 1);
            ordered->insertObjectAtIndex(ns::num(k), index);
            orderedModel.insert(orderedModel.begin() + static_cast<std::ptrdiff_t>(index), k);
        }

        ASSERT_EQ(d->count(), model.size()) << step;
        std::size_t i = 0;
        for (auto [k2, value] : *d) {
            ASSERT_EQ(k2->description(), "k" + std::to_string(model[i].first)) << step;
            ASSERT_EQ(value->description(), std::to_string(model[i].second)) << step;
            ++i;
        }
        for (int probe = 0; probe < 24; ++probe) {
            const std::size_t m = find(probe);
            const std::string text = "k" + std::to_string(probe);
            rt::Id byText = d->objectForKey(text), byKey = d->objectForKey(ns::str(text));
            ASSERT_EQ(byText, byKey) << step;
            ASSERT_EQ(bool(byText), m < model.size()) << step << " " << probe;
            if (byText) {
                ASSERT_EQ(byText->description(), std::to_string(model[m].second));
            }
            const auto place = std::find(orderedModel.begin(), orderedModel.end(), probe);
            ASSERT_EQ(ordered->indexOfObject(ns::num(probe)),
                      place == orderedModel.end() ? ns::NotFound
                                                  : static_cast<std::size_t>(place - orderedModel.begin()))
                << step;
        }
        if (step % 97 == 0) {
            auto copy = rt::downcast<ns::Dictionary>(d->copy());
            ASSERT_TRUE(copy->isEqualToDictionary(*d));
            for (auto [k2, value] : *d)
                ASSERT_EQ(copy->objectForKey(k2), value);
        }
    }
}

TEST(Dictionary, NilKeysAndValuesThrow) {
    auto d = ns::MutableDictionary::make();
    EXPECT_EQ(thrownName([&] { d->setObjectForKey(nullptr, ns::str("k")); }), ns::InvalidArgumentException);
    EXPECT_EQ(thrownName([&] { d->setObjectForKey(ns::num(1), rt::Id()); }), ns::InvalidArgumentException);
    EXPECT_EQ(thrownName([&] { d->setObjectForKey(rt::Id(), "k"); }), ns::InvalidArgumentException);
    EXPECT_EQ(thrownName([] {
                  ns::Dictionary::withPairs({{ns::str("k"), nullptr}});
              }),
              ns::InvalidArgumentException);
    EXPECT_EQ(thrownName([] { ns::Dictionary::withObjectsForKeys({ns::num(1)}, {}); }),
              ns::InvalidArgumentException);
    EXPECT_EQ(d->count(), 0u);
}

TEST(Dictionary, EqualityIgnoresOrderAndMutability) {
    auto a = ns::dict({{"x", 1}, {"y", "two"}});
    auto b = ns::MutableDictionary::make();
    b->setObjectForKey(ns::str("two"), "y");
    b->setObjectForKey(ns::num(1.0), "x");
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_TRUE(b->isEqual(a.get()));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_EQ(a->copy(), a);
    b->setObjectForKey(ns::num(2), "x");
    EXPECT_FALSE(a->isEqual(b.get()));
    b->removeObjectForKey("x");
    b->setObjectForKey(ns::num(1), "z");
    EXPECT_FALSE(a->isEqual(b.get()));

    auto m = a->mutableCopy();
    m->addEntriesFromDictionary(*ns::dict({{"x", 9}, {"w", 0}}));
    EXPECT_EQ(keysOf(*m), (Texts{"x", "y", "w"}));
    EXPECT_EQ(m->objectForKey("x")->description(), "9");
    EXPECT_EQ(a->objectForKey("x")->description(), "1");
    EXPECT_EQ(m->getClass().name(), "NSMutableDictionary");
    EXPECT_EQ(m->copy()->getClass().name(), "NSDictionary");
}

TEST(Dictionary, DescriptionQuotesAndIndents) {
    EXPECT_EQ(ns::Dictionary::make()->description(), "{\n}");
    EXPECT_EQ(
        ns::dict({{"two words", "a.b"}, {"n", ns::arr(1, 2)}, {"e", ns::Dictionary::make()}})->description(),
        "{\n    \"two words\" = \"a.b\";\n    n =     (\n        1,\n        2\n    );\n    e =     {\n    "
        "};\n}");
}

TEST(Dictionary, KeyValueCoding) {
    auto d = ns::MutableDictionary::make();
    d->setValueForKey(ns::num(3), "n");
    EXPECT_EQ(d->valueForKey("n")->description(), "3");
    EXPECT_EQ(d->valueForKey("@count")->description(), "1");
    d->setValueForKey(nullptr, "n");
    EXPECT_EQ(d->count(), 0u);
    EXPECT_FALSE(d->valueForKey("n"));

    ns::CapturedLog log; // an immutable dictionary has no settable keys
    auto frozen = ns::dict({{"a", 1}});
    frozen->setValueForKey(ns::num(2), "a");
    EXPECT_EQ(frozen->objectForKey("a")->description(), "1");
    EXPECT_TRUE(log.contains("setValue:forUndefinedKey:"));
}

TEST(Dictionary, LiteralHelpersBoxScalarsAndText) {
    auto d = ns::dict({{"name", "Ada"}, {"age", 36}, {"ok", true}, {ns::num(5), ns::arr()}});
    EXPECT_TRUE(d->objectForKey("name")->isEqual(ns::str("Ada").get()));
    EXPECT_EQ(d->objectForKey("age"), ns::num(36));
    EXPECT_EQ(d->objectForKey("ok"), ns::num(true));
    EXPECT_TRUE(d->objectForKey(ns::num(5))->isEqual(ns::Array::make().get()));
    EXPECT_EQ(thrownName([] { ns::arr(1, rt::Id()); }), ns::InvalidArgumentException);
}

// ---- Set ------------------------------------------------------------------------------------

TEST(Set, MembershipByEqualityInInsertionOrder) {
    auto one = ns::num(1);
    auto s = ns::MutableSet::withObjects({one, ns::str("b"), ns::num(1.0), ns::str("a")});
    EXPECT_EQ(s->count(), 3u);
    EXPECT_EQ(s->member(ns::num(1.0)), one); // the stored object
    EXPECT_EQ(s->anyObject(), one);
    EXPECT_EQ(texts(*s->allObjects()), (Texts{"1", "b", "a"}));
    EXPECT_EQ(s->description(), "{(\n    1,\n    b,\n    a\n)}");
    EXPECT_EQ(ns::Set::make()->description(), "{(\n)}");

    s->removeObject(ns::num(1));
    s->addObject(ns::num(1));
    EXPECT_EQ(texts(*s->allObjects()), (Texts{"b", "a", "1"}));
    EXPECT_EQ(thrownName([&] { s->addObject(nullptr); }), ns::InvalidArgumentException);
    EXPECT_FALSE(s->containsObject(rt::Id()));

    auto frozen = rt::downcast<ns::Set>(s->copy());
    EXPECT_EQ(frozen->getClass().name(), "NSSet");
    EXPECT_TRUE(frozen->isEqual(s.get()));
    s->addObject(ns::str("c"));
    EXPECT_FALSE(frozen->isEqual(s.get()));
    EXPECT_TRUE(frozen->isSubsetOfSet(*s));
    EXPECT_EQ(frozen->copy(), frozen);
}

TEST(Set, AlgebraAndKeyValueCoding) {
    auto s = ns::MutableSet::withObjects({ns::num(1), ns::num(2), ns::num(3)});
    auto t = ns::Set::withObjects({ns::num(2), ns::num(3), ns::num(4)});
    EXPECT_TRUE(s->intersectsSet(*t));
    s->intersectSet(*t);
    EXPECT_EQ(texts(*s->allObjects()), (Texts{"2", "3"}));
    s->unionSet(*t);
    EXPECT_EQ(texts(*s->allObjects()), (Texts{"2", "3", "4"}));
    s->minusSet(*ns::Set::withObjects({ns::num(3)}));
    EXPECT_EQ(texts(*s->allObjects()), (Texts{"2", "4"}));
    EXPECT_FALSE(s->intersectsSet(*ns::Set::withObjects({ns::num(3)})));

    auto a = rt::make<CollectionItem>(), b = rt::make<CollectionItem>(), c = rt::make<CollectionItem>();
    a->setName(ns::str("x"));
    b->setName(ns::str("x"));
    auto items = ns::Set::withObjects({a, b, c});
    auto names = items->valueForKey("name");
    EXPECT_TRUE(names->isEqual(ns::Set::withObjects({ns::str("x")}).get())); // nil skipped, equal collapse
    EXPECT_EQ(items->valueForKey("@count")->description(), "3");
}

// ---- OrderedSet -----------------------------------------------------------------------------

TEST(OrderedSet, IndexesFollowInsertionsAndRemovals) {
    auto s = ns::MutableOrderedSet::withObjects({ns::str("a"), ns::str("b"), ns::str("a"), ns::str("c")});
    EXPECT_EQ(s->count(), 3u);
    s->insertObjectAtIndex(ns::str("z"), 0);
    s->insertObjectAtIndex(ns::str("b"), 0); // present: nothing changes
    s->insertObjectAtIndex(ns::str("end"), 4);
    EXPECT_EQ(texts(*s->array()), (Texts{"z", "a", "b", "c", "end"}));
    s->removeObject(ns::str("a"));
    s->removeObjectAtIndex(0);
    EXPECT_EQ(texts(*s->array()), (Texts{"b", "c", "end"}));
    EXPECT_EQ(s->indexOfObject(ns::str("end")), 2u);
    EXPECT_EQ(s->indexOfObject(ns::str("a")), ns::NotFound);
    EXPECT_EQ(s->objectAtIndex(1)->description(), "c");
    EXPECT_EQ(s->firstObject()->description(), "b");
    EXPECT_EQ(s->lastObject()->description(), "end");
    EXPECT_EQ(thrownName([&] { s->objectAtIndex(3); }), ns::RangeException);
    EXPECT_EQ(thrownName([&] { s->insertObjectAtIndex(ns::str("q"), 5); }), ns::RangeException);
    EXPECT_EQ(thrownName([&] { s->addObject(nullptr); }), ns::InvalidArgumentException);

    // Many removals from the front keep every index right.
    auto big = ns::MutableOrderedSet::make();
    for (int i = 0; i < 200; ++i)
        big->addObject(ns::num(i));
    for (int i = 0; i < 150; ++i)
        big->removeObjectAtIndex(0);
    for (int i = 150; i < 200; ++i)
        ASSERT_EQ(big->indexOfObject(ns::num(i)), static_cast<std::size_t>(i - 150));
    s->removeAllObjects();
    EXPECT_FALSE(s->firstObject());
}

TEST(OrderedSet, EqualityIsOrderSensitive) {
    auto a = ns::OrderedSet::withObjects({ns::num(1), ns::num(2)});
    auto b = ns::MutableOrderedSet::withObjects({ns::num(2), ns::num(1)});
    EXPECT_FALSE(a->isEqual(b.get()));
    b->removeObject(ns::num(2));
    b->addObject(ns::num(2));
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_EQ(b->copy()->getClass().name(), "NSOrderedSet");
    EXPECT_EQ(a->copy(), a);
    EXPECT_EQ(a->description(), "{(\n    1,\n    2\n)}");
}

// ---- IndexSet -------------------------------------------------------------------------------

std::string indexesOf(const ns::IndexSet& s) {
    std::string out;
    for (const ns::Range& r : s.ranges())
        out += "[" + std::to_string(r.location) + "," + std::to_string(r.max()) + ")";
    return out;
}

TEST(IndexSet, RangesMergeAndSplit) {
    auto s = ns::MutableIndexSet::make();
    s->addIndexesInRange({10, 5}); // 10-14
    s->addIndex(16);
    s->addIndex(2);
    EXPECT_EQ(indexesOf(*s), "[2,3)[10,15)[16,17)");
    s->addIndex(15); // bridges the two ranges
    EXPECT_EQ(indexesOf(*s), "[2,3)[10,17)");
    s->addIndexesInRange({1, 12}); // swallows and extends
    EXPECT_EQ(indexesOf(*s), "[1,17)");
    s->removeIndex(5);
    s->removeIndexesInRange({8, 3});
    EXPECT_EQ(indexesOf(*s), "[1,5)[6,8)[11,17)");
    s->removeIndexesInRange({3, 10}); // across three ranges
    EXPECT_EQ(indexesOf(*s), "[1,3)[13,17)");
    s->removeIndex(1);
    s->removeIndex(16);
    s->removeIndex(40);
    EXPECT_EQ(indexesOf(*s), "[2,3)[13,16)");
    EXPECT_EQ(s->count(), 4u);
    s->addIndexesInRange({3, 0});
    EXPECT_EQ(s->count(), 4u);
    EXPECT_EQ(thrownName([&] { s->addIndexesInRange({ns::NotFound - 1, 2}); }), ns::RangeException);
    s->removeAllIndexes();
    EXPECT_EQ(s->firstIndex(), ns::NotFound);
    EXPECT_EQ(s->lastIndex(), ns::NotFound);
}

TEST(IndexSet, QueriesAndEnumeration) {
    auto s = ns::MutableIndexSet::indexSetWithIndexesInRange({3, 3}); // 3 4 5
    s->addIndex(9);
    EXPECT_EQ(s->firstIndex(), 3u);
    EXPECT_EQ(s->lastIndex(), 9u);
    EXPECT_EQ(s->indexGreaterThanIndex(5), 9u);
    EXPECT_EQ(s->indexGreaterThanIndex(0), 3u);
    EXPECT_EQ(s->indexGreaterThanIndex(9), ns::NotFound);
    EXPECT_EQ(s->indexLessThanIndex(9), 5u);
    EXPECT_EQ(s->indexLessThanIndex(4), 3u);
    EXPECT_EQ(s->indexLessThanIndex(3), ns::NotFound);
    EXPECT_TRUE(s->containsIndex(4));
    EXPECT_FALSE(s->containsIndex(6));
    EXPECT_TRUE(s->containsIndexesInRange({3, 3}));
    EXPECT_FALSE(s->containsIndexesInRange({4, 3}));
    EXPECT_TRUE(s->intersectsIndexesInRange({6, 4}));
    EXPECT_FALSE(s->intersectsIndexesInRange({6, 3}));
    EXPECT_EQ(s->countOfIndexesInRange({4, 10}), 3u);

    std::vector<std::size_t> all(s->begin(), s->end()), some;
    EXPECT_EQ(all, (std::vector<std::size_t>{3, 4, 5, 9}));
    s->enumerateIndexes([&](std::size_t i, bool& stop) {
        some.push_back(i);
        stop = i == 4;
    });
    EXPECT_EQ(some, (std::vector<std::size_t>{3, 4}));

    auto frozen = s->copy();
    EXPECT_EQ(frozen->getClass().name(), "NSIndexSet");
    EXPECT_TRUE(frozen->isEqual(s.get()));
    s->removeIndex(9);
    EXPECT_FALSE(frozen->isEqual(s.get()));
    EXPECT_TRUE(ns::IndexSet::indexSetWithIndexesInRange({3, 3})->isEqual(s.get()));
    std::string d = frozen->description();
    EXPECT_EQ(d.substr(d.find('>') + 1), "[number of indexes: 4 (in 2 ranges), indexes: (3-5 9)]");
    EXPECT_EQ(d.rfind("<NSIndexSet: 0x", 0), 0u);
}

// ---- Null -----------------------------------------------------------------------------------

TEST(Null, IsOneImmortalObject) {
    auto before = rt::liveObjectCount();
    const auto& n = ns::Null::null();
    EXPECT_EQ(n, ns::Null::null());
    EXPECT_EQ(n->description(), "<null>");
    EXPECT_EQ(n->getClass().name(), "NSNull");
    EXPECT_EQ(n->copy(), n);
    EXPECT_TRUE(ns::isNullOrNil(n));
    EXPECT_TRUE(ns::isNullOrNil(rt::Id()));
    EXPECT_FALSE(ns::isNullOrNil(ns::num(0)));
    EXPECT_EQ(rt::liveObjectCount(), before);
}

} // namespace
