#pragma once
#include "host/entitymodel/ChangeSet.h"

namespace EntityModel
{
class Entity;

/// A group of edits made as one step, as an undoable command of the application is: when the
/// outermost open transaction commits, the derived-data pass runs over the project (the current
/// project unless another root is given) and commit() hands back its changes. Inner transactions
/// commit with no pass of their own. A transaction left without commit (an edit threw) runs no pass.
class EditTransaction
{
public:
    EditTransaction();
    explicit EditTransaction(Entity* root);
    ~EditTransaction();
    EditTransaction(const EditTransaction&) = delete;
    EditTransaction& operator=(const EditTransaction&) = delete;

    /// Ends the transaction; the outermost one runs the pass and returns what the calculators
    /// created, changed and deleted (an inner one returns an empty set). Calculator exceptions pass
    /// through, with the transaction ended.
    ChangeSet commit();
    /// The number of transactions open.
    static int depth();

private:
    Entity* root_;
    bool open_ = true;
};
} // namespace EntityModel
