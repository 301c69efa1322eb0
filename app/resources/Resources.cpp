#include "app/resources/Resources.h"

#include "app/resources/MainDialogTemplate.h"

namespace vardel {

const DialogTemplate* FindDialogTemplate(int id) {
    static constexpr const DialogTemplate* kTemplates[] = {&kMainDialogTemplate};
    for (const DialogTemplate* found : kTemplates) {
        if (found->id == id) {
            return found;
        }
    }
    return nullptr;
}

}  // namespace vardel
