// Native methods of it.morvale.pkcs11.nat.NativePKCS11Session.
#include "entry.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Session.h"

using namespace quillon;

static const char kObjectClass[] = "it/morvale/pkcs11/nat/NativePKCS11Object";
static const char kObjectConstructor[] = "(Lit/morvale/pkcs11/nat/NativePKCS11Session;I)V";

namespace quillon {

jobject wrapObject(JNIEnv* env, jobject session, CK_OBJECT_HANDLE handle) {
  Constructor objectClass(env, kObjectClass, kObjectConstructor);
  if (!objectClass.ok()) return nullptr;
  return objectClass.make(session, CK2J_INT(handle));
}

}  // namespace quillon
