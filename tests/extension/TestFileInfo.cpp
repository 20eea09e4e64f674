#include "tests/extension/TestFileInfo.h"

namespace {

struct TestFileInfo {
    GObject parent;
    GFile* location;
    char* mimeType;
};

struct TestFileInfoClass {
    GObjectClass parent;
};

void fileInfoInterfaceInit(NautilusFileInfoInterface* interface);

G_DEFINE_TYPE_WITH_CODE(TestFileInfo, test_file_info, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(NAUTILUS_TYPE_FILE_INFO, fileInfoInterfaceInit))

void test_file_info_init(TestFileInfo*) {}

void finalize(GObject* object) {
    auto* info = reinterpret_cast<TestFileInfo*>(object);
    g_clear_object(&info->location);
    g_free(info->mimeType);
    G_OBJECT_CLASS(test_file_info_parent_class)->finalize(object);
}

void test_file_info_class_init(TestFileInfoClass* infoClass) {
    G_OBJECT_CLASS(infoClass)->finalize = finalize;
}

GFile* getLocation(NautilusFileInfo* info) {
    return G_FILE(g_object_ref(reinterpret_cast<TestFileInfo*>(info)->location));
}

char* getMimeType(NautilusFileInfo* info) {
    return g_strdup(reinterpret_cast<TestFileInfo*>(info)->mimeType);
}

void fileInfoInterfaceInit(NautilusFileInfoInterface* interface) {
    interface->get_location = getLocation;
    interface->get_mime_type = getMimeType;
}

char* contentType(GFile* location) {
    GFileInfo* info = g_file_query_info(location, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                        G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
    if (info == nullptr)
        return g_strdup("application/octet-stream");
    char* type = g_strdup(g_file_info_get_content_type(info));
    g_object_unref(info);
    return type;
}

} // namespace

namespace quillmorph::testing {

NautilusFileInfo* newFileInfo(GFile* location, const std::optional<std::string>& mimeType) {
    auto* info = static_cast<TestFileInfo*>(g_object_new(test_file_info_get_type(), nullptr));
    info->location = G_FILE(g_object_ref(location));
    info->mimeType = mimeType ? g_strdup(mimeType->c_str()) : contentType(location);
    return NAUTILUS_FILE_INFO(info);
}

} // namespace quillmorph::testing
