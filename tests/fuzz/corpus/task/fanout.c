int x;
int f0(){x++;}
int f1(){f0();f0();f0();f0();f0();f0();f0();f0();f0();f0();}
int f2(){f1();f1();f1();f1();f1();f1();f1();f1();f1();f1();}
int f3(){f2();f2();f2();f2();f2();f2();f2();f2();f2();f2();}
static int s = f3();
int TaskEntry(){f3(); return s > 0 ? TRIAL_CONTINUE : TRIAL_END;}
