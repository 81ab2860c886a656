#include "ZevLSObj.h"
#include "ZevTree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

void InitObjects()
{
    ZevCoreInit();
    ZevLSObjInit();
}

TZevStringTree* Named(const char* name)
{
    TZevStringTree* t = static_cast<TZevStringTree*>(CreateObjectByName("TZevStringTree"));
    t->SetName(name);
    return t;
}

void Record(TZevVTree* node, void* arg)
{
    const char* n = static_cast<TZevStringTree*>(node)->GetName();
    static_cast<std::string*>(arg)->append(n ? n : "?").append(" ");
}

struct Orders {
    std::string pre, in, post;
};

Orders Walk(TZevVTree* node)
{
    Orders o;
    node->ForEachPreOrder(Record, &o.pre);
    node->ForEachInOrder(Record, &o.in);
    node->ForEachPostOrder(Record, &o.post);
    return o;
}

void CountNode(TZevVTree*, void* arg)
{
    ++*static_cast<int*>(arg);
}

void DeleteNode(TZevVTree* node, void* arg)
{
    ++*static_cast<int*>(arg);
    delete node;
}

std::vector<std::string> ChildNames(TZevVTree* t)
{
    std::vector<std::string> names;
    for (TZevVTree* c = t->GetFirstChild(); c; c = c->GetNextSibling()) {
        const char* n = static_cast<TZevStringTree*>(c)->GetName();
        names.push_back(n ? n : "<null>");
    }
    return names;
}

std::string Bytes(TZevStream& s)
{
    std::string b(static_cast<std::size_t>(s.GetSize()), '\0');
    s.Seek(0);
    s.Read(b.data(), s.GetSize());
    return b;
}

} // namespace

TEST(Tree, NewTreeHasAnEmptyRing)
{
    InitObjects();
    TZevTree* t = static_cast<TZevTree*>(CreateObjectByName("TZevTree"));
    EXPECT_EQ(t->GetFirstChild(), nullptr);
    EXPECT_EQ(t->GetParent(), nullptr);
    EXPECT_EQ(t->GetNextSibling(), nullptr);
    TZevTreeSentinel* s = t->GetSentinel();
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(s->HasChildRing());
    EXPECT_EQ(s->GetFirstChild(), nullptr);
    delete t;

    // A node made by the abstract factory has no ring and takes no children.
    TZevVTree* v = static_cast<TZevVTree*>(CreateObjectByName("TZevVTree"));
    TZevTree* child = static_cast<TZevTree*>(CreateObjectByName("TZevTree"));
    EXPECT_FALSE(v->AddChild(child));
    delete v;
    delete child;
}

TEST(Tree, WalksVisitInTheirOrders)
{
    InitObjects();
    TZevStringTree* r = Named("R");
    r->AddChild(Named("A"));
    r->AddChild(Named("B"));
    r->AddChild(Named("D"));
    Orders o = Walk(r);
    EXPECT_EQ(o.pre, "R A B D ");
    EXPECT_EQ(o.in, "A B D R ");
    EXPECT_EQ(o.post, "D B A R ");
    delete r;

    r = Named("R");
    TZevStringTree* a = Named("A");
    r->AddChild(a);
    a->AddChild(Named("A1"));
    a->AddChild(Named("A2"));
    r->AddChild(Named("B"));
    o = Walk(r);
    EXPECT_EQ(o.pre, "R A A1 A2 B ");
    EXPECT_EQ(o.in, "A1 A2 A B R ");
    EXPECT_EQ(o.post, "A2 A1 B A R ");

    // From a child, a walk also covers its later siblings, and nothing above.
    o = Walk(a);
    EXPECT_EQ(o.pre, "A A1 A2 B ");
    EXPECT_EQ(o.in, "A1 A2 A B ");
    EXPECT_EQ(o.post, "A2 A1 B A ");
    // Through the sentinel: the children of its owner.
    std::string viaSentinel;
    r->GetSentinel()->ForEachPreOrder(Record, &viaSentinel);
    EXPECT_EQ(viaSentinel, "A A1 A2 B ");
    r->ForEachPreOrder(nullptr, nullptr);
    delete r;
}

TEST(Tree, AddChildMovesUnlinkDetachesAndCyclesAreRefused)
{
    InitObjects();
    TZevStringTree* p = Named("P");
    TZevStringTree* q = Named("Q");
    TZevStringTree* x = Named("X");
    x->AddChild(Named("x1"));
    p->AddChild(Named("p1"));
    p->AddChild(x);
    EXPECT_EQ(x->GetParent(), p);
    EXPECT_EQ(x->GetNextSibling(), nullptr);

    ASSERT_TRUE(q->AddChild(x));
    EXPECT_EQ(ChildNames(p), std::vector<std::string>{"p1"});
    EXPECT_EQ(ChildNames(q), std::vector<std::string>{"X"});
    EXPECT_EQ(ChildNames(x), std::vector<std::string>{"x1"});
    EXPECT_EQ(x->GetParent(), q);

    // A node cannot go under itself or its own descendant.
    EXPECT_FALSE(x->AddChild(x));
    EXPECT_FALSE(x->GetFirstChild()->AddChild(q));
    EXPECT_FALSE(x->AddChild(q));
    EXPECT_FALSE(x->AddChild(x->GetSentinel()));

    TZevVTree* after = x->Unlink();
    EXPECT_EQ(after, q->GetSentinel());
    EXPECT_EQ(x->GetParent(), nullptr);
    EXPECT_EQ(q->GetFirstChild(), nullptr);
    EXPECT_EQ(x->Unlink(), x);
    delete p;
    delete q;
    delete x;
}

TEST(Tree, DeletionFreesEveryNodeAndSentinel)
{
    InitObjects();
    TZevStringTree* r = Named("R");
    TZevStringTree* a = Named("A");
    r->AddChild(a);
    a->AddChild(Named("A1"));
    a->AddChild(Named("A2"));
    r->AddChild(Named("B"));
    r->AddChild(Named("C"));
    // Six nodes and six sentinels.
    const int freed = DeleteCount.load();
    delete r;
    EXPECT_EQ(DeleteCount.load() - freed, 12);

    // DeleteSubtree of a middle child takes it, its subtree and its later siblings.
    r = Named("R");
    r->AddChild(Named("A"));
    TZevStringTree* b = Named("B");
    r->AddChild(b);
    b->AddChild(Named("B1"));
    r->AddChild(Named("C"));
    b->DeleteSubtree();
    EXPECT_EQ(ChildNames(r), std::vector<std::string>{"A"});
    // On a sentinel: the children go, the ring stays usable.
    r->GetSentinel()->DeleteSubtree();
    EXPECT_EQ(r->GetFirstChild(), nullptr);
    r->AddChild(Named("N"));
    EXPECT_EQ(ChildNames(r), std::vector<std::string>{"N"});
    delete r;

    // A post-order walk may delete each node it is given.
    r = Named("R");
    for (int i = 0; i < 5; ++i) {
        TZevStringTree* c = Named("c");
        c->AddChild(Named("g"));
        r->AddChild(c);
    }
    const int before = DeleteCount.load();
    int visited = 0;
    r->ForEachPostOrder(DeleteNode, &visited);
    EXPECT_EQ(visited, 11);
    EXPECT_EQ(DeleteCount.load() - before, 22);
}

TEST(Tree, WideAndDeepTreesNeedNoStack)
{
    InitObjects();
    const int n = 100000;
    for (bool deep : {false, true}) {
        TZevTree* root = static_cast<TZevTree*>(CreateObjectByName("TZevTree"));
        TZevVTree* at = root;
        for (int i = 0; i < n; ++i) {
            TZevVTree* c = static_cast<TZevVTree*>(CreateObjectByName("TZevTree"));
            at->AddChild(c);
            if (deep)
                at = c;
        }
        int pre = 0, in = 0, post = 0;
        root->ForEachPreOrder(CountNode, &pre);
        root->ForEachInOrder(CountNode, &in);
        root->ForEachPostOrder(CountNode, &post);
        EXPECT_EQ(pre, n + 1);
        EXPECT_EQ(in, n + 1);
        EXPECT_EQ(post, n + 1);
        if (deep) {
            // Too deep to be read back, so it is not saved either.
            TZevMemStream s;
            EXPECT_FALSE(root->Save(&s));
        }
        const int freed = DeleteCount.load();
        delete root;
        EXPECT_EQ(DeleteCount.load() - freed, 2 * (n + 1));
    }
}

TEST(Tree, SavesAndLoadsNamesAndChildren)
{
    InitObjects();
    // The saved form of "a" with one child "b".
    TZevStringTree* a = Named("a");
    a->AddChild(Named("b"));
    TZevMemStream s;
    ASSERT_TRUE(a->Save(&s));
    auto word = [](std::uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto object = [&](const std::string& name, std::uint32_t at) {
        const std::uint32_t tend = at + 4 + static_cast<std::uint32_t>(name.size());
        return word(static_cast<std::uint32_t>(name.size())) + name + word(tend) + word(tend + 13) +
               std::string("TEND\0", 5);
    };
    std::string expected = object("TZevStringTree", 0);
    expected += object("TZevStringTree", static_cast<std::uint32_t>(expected.size()));
    expected += object("TZevTreeSentinel", static_cast<std::uint32_t>(expected.size()));
    expected += word(1) + "b";
    expected += object("TZevTreeSentinel", static_cast<std::uint32_t>(expected.size()));
    expected += word(1) + "a";
    EXPECT_EQ(Bytes(s), expected);
    delete a;

    TZevStringTree* root = Named("root");
    root->AddChild(Named("first"));
    TZevStringTree* unnamed = Named(nullptr);
    unnamed->AddChild(Named("grandchild"));
    root->AddChild(unnamed);
    root->AddChild(Named("last"));
    TZevMemStream m;
    ASSERT_TRUE(root->Save(&m));
    m.Seek(0);
    TZevStringTree* back = dynamic_cast<TZevStringTree*>(ReadObject(&m));
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->GetName(), "root");
    EXPECT_EQ(ChildNames(back), (std::vector<std::string>{"first", "", "last"}));
    EXPECT_EQ(ChildNames(back->GetFirstChild()->GetNextSibling()), std::vector<std::string>{"grandchild"});
    EXPECT_EQ(back->GetFirstChild()->GetParent(), back);
    delete back;
    delete root;
}
