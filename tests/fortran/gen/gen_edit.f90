! Reference tables of gfortran's edit descriptors and list-directed output, read by
! tests/fortran/fortran_test.cpp (the tests do not need gfortran).
! Regenerate (from tests/fortran/gen/):
!   gfortran -ffree-line-length-none gen_edit.f90 -o gen_edit && ./gen_edit reals > ../data/edit_reals.txt
!   ./gen_edit integers > ../data/edit_integers.txt
! Format of edit_reals.txt: a header line "# hex|<descriptor>|..." naming the columns,
! then two lines per value: the IEEE bits in hex followed by one field per column,
! each ended by '|'; then the record WRITE(*,*) writes for the REAL(8) value.
! edit_integers.txt: the same with the decimal value instead of the bits; its
! list-directed record uses a 4-byte INTEGER when the value fits, else an 8-byte one.
program gen_edit
  implicit none
  character(len=16) :: mode
  call get_command_argument(1, mode)
  if (mode == 'reals') call real_table()
  if (mode == 'integers') call integer_table()

contains

  ! A decimal text read as REAL(8): the nearest double, as a compiler constant is.
  real(8) function dec(text)
    character(len=*), intent(in) :: text
    read(text, *) dec
  end function

  subroutine put_real(v)
    real(8), intent(in) :: v
    write(*,'(Z16.16,"|",G9.3,"|",G12.4,"|",G12.5,"|",G12.7,"|",G13.5,"|",G14.5,"|",G14.8,"|",G15.7,"|",&
         &G16.7,"|",F4.2,"|",F6.3,"|",F10.3,"|",E16.9,"|",E16.8,"|",1PE10.3,"|")') &
         v, v, v, v, v, v, v, v, v, v, v, v, v, v, v, v
    write(*,*) v
  end subroutine

  subroutine put_both_signs(v)
    real(8), intent(in) :: v
    call put_real(v)
    call put_real(-v)
  end subroutine

  ! The value and its two neighbouring doubles, both signs.
  subroutine put_around(v)
    real(8), intent(in) :: v
    call put_both_signs(nearest(v, -1d0))
    call put_both_signs(v)
    call put_both_signs(nearest(v, 1d0))
  end subroutine

  subroutine real_table()
    character(len=40) :: text
    integer :: k, d, i
    integer(8) :: seed
    real(8) :: mantissa, inf
    integer, parameter :: g_digits(8) = [3, 4, 5, 7, 8, 9, 16, 17]
    ! Values that round up across a decade or sit on ties of F4.2/F6.3/1PE10.3; exact binary
    ! fractions; decimal texts up to tiny and huge values with three-digit exponents.
    character(len=14), parameter :: ties(9) = [character(len=14) :: '9.9995', '99.995', '0.995', '0.9995', &
         '9.995', '0.005', '0.0005', '9.9999999995', '9.99999999995']
    real(8), parameter :: binary(7) = [0.125d0, 0.375d0, 0.625d0, 0.0625d0, 2.5d0, 1.5d0, 0.5d0]
    character(len=20), parameter :: decimal(14) = [character(len=20) :: '0.1', '1e-1', '2.25', '1000', &
         '0.0001', '123456789012345678', '1d-99', '1d-100', '1d-101', '1d99', '1d100', '9.99999d99', &
         '9.9999999999d99', '1d-310']
    write(*,'(a)') '# hex|G9.3|G12.4|G12.5|G12.7|G13.5|G14.5|G14.8|G15.7|G16.7|F4.2|F6.3|F10.3|E16.9|E16.8|1PE10.3|'
    ! Zero, negative zero, infinities, NaN.
    inf = huge(1d0)
    inf = inf * 2d0
    call put_real(0d0)
    call put_real(-0d0)
    call put_real(inf)
    call put_real(-inf)
    call put_real(transfer(int(z'7FF8000000000000', 8), 1d0))
    ! Exact decades.
    do k = -30, 30
      write(text, '("1d",I0)') k
      call put_both_signs(dec(text))
    end do
    ! G rounding boundaries 0.1 - 5*10^(-d-2) and 10^d - 0.5, with neighbours.
    do i = 1, size(g_digits)
      d = g_digits(i)
      write(text, '("0.0",A,"5")') repeat('9', d)
      call put_around(dec(text))
      write(text, '(A,".5")') repeat('9', d)
      call put_around(dec(text))
    end do
    do i = 1, size(ties)
      call put_around(dec(trim(ties(i))))
    end do
    do i = 1, size(binary)
      call put_both_signs(binary(i))
    end do
    do i = 1, size(decimal)
      call put_both_signs(dec(trim(decimal(i))))
    end do
    call put_both_signs(tiny(1d0))
    call put_both_signs(huge(1d0))
    call put_both_signs(transfer(1_8, 1d0))
    ! Random values of every magnitude 1e-30 .. 1e30 (fixed linear congruential seed).
    seed = 12345_8
    do k = -30, 30
      do i = 1, 3
        seed = modulo(seed * 48271_8, 2147483647_8)
        mantissa = 1d0 + 9d0 * real(seed, 8) / 2147483647d0
        write(text, '(ES24.16E3)') mantissa * 10d0**k
        call put_real(merge(1d0, -1d0, mod(seed, 2_8) == 0) * dec(text))
      end do
    end do
  end subroutine

  subroutine put_integer(v)
    integer(8), intent(in) :: v
    write(*,'(I0,"|",I2,"|",I3,"|",I4,"|",I5,"|",I6,"|",I7,"|",I8,"|",I10,"|",I16,"|",I2.2,"|",I4.4,"|",I6.3,"|")') &
         v, v, v, v, v, v, v, v, v, v, v, v, v
    if (v >= -2147483648_8 .and. v <= 2147483647_8) then
      write(*,*) int(v, 4)
    else
      write(*,*) v
    end if
  end subroutine

  subroutine integer_table()
    integer :: k, i
    integer(8) :: p, seed
    integer(8), parameter :: limits(6) = [2147483647_8, -2147483647_8 - 1, 2147483648_8, -2147483649_8, &
         huge(1_8), -huge(1_8) - 1]
    write(*,'(a)') '# value|I2|I3|I4|I5|I6|I7|I8|I10|I16|I2.2|I4.4|I6.3|'
    call put_integer(0_8)
    ! Width boundaries: 10^k - 1, 10^k and their negatives.
    p = 1
    do k = 0, 18
      call put_integer(p - 1)
      call put_integer(p)
      call put_integer(-(p - 1))
      call put_integer(-p)
      if (k < 18) p = p * 10
    end do
    do i = 1, size(limits)
      call put_integer(limits(i))
    end do
    ! Random values of every magnitude.
    seed = 777_8
    do k = 1, 9
      do i = 1, 6
        seed = modulo(seed * 48271_8, 2147483647_8)
        call put_integer(merge(1_8, -1_8, mod(seed, 2_8) == 0) * mod(seed, 10_8**k))
      end do
    end do
  end subroutine

end program
