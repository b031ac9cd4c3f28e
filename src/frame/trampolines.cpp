// First-call entries. Each one keeps every register and the stack exactly as
// the caller left them, has its slot bound, and jumps on through the slot, so
// that the service (variadic or thiscall alike) sees the original call and
// returns straight to the caller.
#include "frame/host_services.h"

#define KW_STR2(x) #x
#define KW_STR(x) KW_STR2(x)

#if defined(_WIN32) && defined(__i386__)
#define KW_SYM(name) "_" name
#else
#define KW_SYM(name) name
#endif

#if defined(__i386__)
// cdecl and thiscall: arguments on the stack, `this` in ecx.
#define KW_TRAMPOLINE(ordinal, name, conv, ret, params) \
  asm(".text\n"                                                    \
      ".globl " KW_SYM("kw_first_" #ordinal) "\n" KW_SYM("kw_first_" #ordinal) ":\n" \
      "  push %ecx\n"                                              \
      "  push %edx\n"                                              \
      "  push $" #ordinal "\n"                                     \
      "  call " KW_SYM("kw_bind_on_first_call") "\n"               \
      "  add $4, %esp\n"                                           \
      "  pop %edx\n"                                               \
      "  pop %ecx\n"                                               \
      "  jmp *%eax\n");
#elif defined(__x86_64__)
// System V: six integer argument registers, eight vector registers and al
// (the vector count of a variadic call).
#define KW_TRAMPOLINE(ordinal, name, conv, ret, params)                                    \
  asm(".text\n"                                                                            \
      ".globl kw_first_" #ordinal                                                          \
      "\n"                                                                                 \
      ".hidden kw_first_" #ordinal                                                         \
      "\n"                                                                                 \
      ".type kw_first_" #ordinal                                                           \
      ", @function\n"                                                                      \
      "kw_first_" #ordinal                                                                 \
      ":\n"                                                                                \
      "  push %rdi\n  push %rsi\n  push %rdx\n  push %rcx\n  push %r8\n  push %r9\n"       \
      "  push %rax\n"                                                                      \
      "  sub $128, %rsp\n"                                                                 \
      "  movdqu %xmm0, 0(%rsp)\n  movdqu %xmm1, 16(%rsp)\n"                                \
      "  movdqu %xmm2, 32(%rsp)\n  movdqu %xmm3, 48(%rsp)\n"                               \
      "  movdqu %xmm4, 64(%rsp)\n  movdqu %xmm5, 80(%rsp)\n"                               \
      "  movdqu %xmm6, 96(%rsp)\n  movdqu %xmm7, 112(%rsp)\n"                              \
      "  mov $" #ordinal                                                                   \
      ", %edi\n"                                                                           \
      "  call kw_bind_on_first_call\n"                                                     \
      "  mov %rax, %r11\n"                                                                 \
      "  movdqu 0(%rsp), %xmm0\n  movdqu 16(%rsp), %xmm1\n"                                \
      "  movdqu 32(%rsp), %xmm2\n  movdqu 48(%rsp), %xmm3\n"                               \
      "  movdqu 64(%rsp), %xmm4\n  movdqu 80(%rsp), %xmm5\n"                               \
      "  movdqu 96(%rsp), %xmm6\n  movdqu 112(%rsp), %xmm7\n"                              \
      "  add $128, %rsp\n"                                                                 \
      "  pop %rax\n  pop %r9\n  pop %r8\n  pop %rcx\n  pop %rdx\n  pop %rsi\n  pop %rdi\n" \
      "  jmp *%r11\n"                                                                      \
      ".size kw_first_" #ordinal ", .-kw_first_" #ordinal "\n");
#endif

KW_HOST_SERVICES(KW_TRAMPOLINE)
