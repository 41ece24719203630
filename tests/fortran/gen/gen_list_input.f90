! Reference table of gfortran's list-directed READ of one value field (a keyword line's
! columns 10-200), read by tests/fortran/fortran_test.cpp (the tests do not need gfortran).
! Regenerate (from tests/fortran/gen/):
!   gfortran -ffree-line-length-none gen_list_input.f90 -o gen_list_input
!   ./gen_list_input < list_input_cases.txt > ../data/list_input.txt
! Each case (one line of list_input_cases.txt, at most 191 characters) is read as a
! 191-character field, once into four REAL(8) targets and once into four INTEGER
! targets, all preset to -7777. Output line: the real read's status (-1 end of
! file, 0 success, 1 error) and the four reals' bits in hex, then the integer
! read's status and the four integers, each followed by '|', then the case text.
program gen_list_input
  implicit none
  character(len=191) :: field
  character(len=400) :: line
  real(8) :: r(4)
  integer :: k(4), ios, j
  do
    read(*, '(a)', iostat=ios) line
    if (ios /= 0) exit
    field = line(1:191)
    r = -7777d0
    read(field, *, iostat=ios) r
    write(*, '(i0,4("|",z16.16),"|")', advance='no') sign(1, ios) * min(abs(ios), 1), (r(j), j = 1, 4)
    k = -7777
    read(field, *, iostat=ios) k
    write(*, '(i0,4("|",i0),"|",a)') sign(1, ios) * min(abs(ios), 1), (k(j), j = 1, 4), trim(line)
  end do
end program
