#include "platform/com_owners.h"
#include "tests/unit/counted_object.h"

#include <gtest/gtest.h>

#include <utility>

namespace kestrum::platform {
namespace {

using testing::counted_object;

TEST(UniqueComRef, ReleasesOnceWhenReplacedMovedOrDestroyed) {
    counted_object first;
    counted_object second;
    {
        unique_com_ref<IUnknown> owner;
        first.AddRef();
        *owner.put() = &first;
        EXPECT_EQ(first.references(), 2);

        second.AddRef();
        *owner.put() = &second;  // put() lets go of what it held first
        EXPECT_EQ(first.references(), 1);

        unique_com_ref<IUnknown> moved = std::move(owner);
        EXPECT_FALSE(owner);
        EXPECT_EQ(moved.get(), &second);
        EXPECT_EQ(second.references(), 2);
    }
    EXPECT_EQ(first.references(), 1);
    EXPECT_EQ(second.references(), 1);
}

TEST(UniqueComRef, QueryFillsAnotherOwnerAndBothBalance) {
    counted_object object;
    {
        unique_com_ref<IUnknown> held;
        object.AddRef();
        *held.put() = &object;
        unique_com_ref<IUnknown> queried;
        EXPECT_EQ(held.query_to(IID_IUnknown, queried), S_OK);
        EXPECT_EQ(object.references(), 3);
        unique_com_ref<IClassFactory> refused;
        EXPECT_EQ(held.query_to(IID_IClassFactory, refused), E_NOINTERFACE);
        EXPECT_FALSE(refused);
    }
    EXPECT_EQ(object.references(), 1);
}

TEST(UniqueBstr, NullReadsAsEmptyAndEmbeddedNulsAreKept) {
    unique_bstr empty;
    EXPECT_TRUE(empty.view().empty());

    unique_bstr text;
    *text.put() = ::SysAllocStringLen(L"a\0b", 3);
    EXPECT_EQ(text.view(), std::wstring_view(L"a\0b", 3));
    *text.put() = ::SysAllocString(L"second");  // the first string is freed here
    EXPECT_EQ(text.view(), L"second");
}

TEST(UniqueSafearray, DestroysALockedArrayAfterUnlockingIt) {
    counted_object element;
    {
        unique_safearray array;
        *array.put() = ::SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
        ASSERT_TRUE(array);
        LONG index = 0;
        ASSERT_EQ(::SafeArrayPutElement(array.get(), &index, &element), S_OK);
        EXPECT_EQ(element.references(), 2);
        EXPECT_EQ(array.lock(), S_OK);
        EXPECT_EQ(array.get()->cLocks, 1u);
    }
    EXPECT_EQ(element.references(), 1) << "destroying the array releases its element";
}

}  // namespace
}  // namespace kestrum::platform
