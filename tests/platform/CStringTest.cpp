// The framework string that hosts and the library share: the project's own on
// POSIX, MFC42.DLL's on Windows.
#include <gtest/gtest.h>

#include <afx.h>

#include "TestSupport.h"

TEST(CString, CopiesAreIndependent)
{
    CString a("song.mp3");
    CString b(a);
    b += ".wav";
    EXPECT_STREQ(a, "song.mp3");
    EXPECT_STREQ(b, "song.mp3.wav");
    a = b;
    EXPECT_TRUE(a == b);
    a += "!";  // a copy may share its buffer until one of them is written
    EXPECT_STREQ(b, "song.mp3.wav");
    EXPECT_STREQ(a, "song.mp3.wav!");
    CString empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_STREQ(empty, "");
    CString fromNull(static_cast<LPCSTR>(nullptr));
    EXPECT_EQ(fromNull.GetLength(), 0);
}

TEST(CString, PiecesAndSearch)
{
    CString s("a.b.mp2");
    EXPECT_EQ(s.ReverseFind('.'), 3);
    EXPECT_EQ(s.Find('.'), 1);
    EXPECT_EQ(s.ReverseFind('x'), -1);
    EXPECT_STREQ(s.Left(3), "a.b");
    EXPECT_STREQ(s.Left(99), "a.b.mp2");
    EXPECT_STREQ(s.Mid(4), "mp2");
    EXPECT_STREQ(s.Mid(9), "");
    EXPECT_STREQ(s.Right(3), "mp2");
    EXPECT_STREQ(s + 'x', "a.b.mp2x");
}

TEST(CString, AppendingAndAssigningFromItself)
{
    CString s("abc");
    s += s;
    EXPECT_STREQ(s, "abcabc");
    s += static_cast<LPCSTR>(s) + 3;
    EXPECT_STREQ(s, "abcabcabc");
    s = static_cast<LPCSTR>(s) + 6;
    EXPECT_STREQ(s, "abc");
}

TEST(CString, BufferAccess)
{
    CString s;
    char* p = s.GetBuffer(260);
    strcpy(p, "/tmp/");
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 5);
    p = s.GetBuffer(0);
    p[4] = '\0';
    s.ReleaseBuffer(-1);
    EXPECT_STREQ(s, "/tmp");
    s.GetBufferSetLength(2);
    EXPECT_STREQ(s, "/t");
}

TEST(CString, OutOfMemoryThrowsTheFrameworkException)
{
    CString keep("kept");
    qvtest::FailAllocationsAfter(1);
    CString first("one allocation succeeds");
    bool thrown = false;
    try {
        CString second("the next one fails");
    } catch (CMemoryException* e) {
        thrown = true;
        e->Delete();
    }
    qvtest::FailAllocationsAfter(-1);
    EXPECT_TRUE(thrown);
    EXPECT_STREQ(keep, "kept");
    EXPECT_STREQ(first, "one allocation succeeds");

    // That one alone: the allocations after it succeed again.
    qvtest::FailOneAllocationAfter(1);
    CString third("one allocation succeeds");
    thrown = false;
    try {
        CString fourth("the next one fails");
    } catch (CMemoryException* e) {
        thrown = true;
        e->Delete();
    }
    CString fifth("and the one after it succeeds");
    qvtest::FailAllocationsAfter(-1);
    EXPECT_TRUE(thrown);
    EXPECT_STREQ(fifth, "and the one after it succeeds");
}
